#include "app/rules/rules_file.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cstdint>
#include <limits>
#include <optional>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace kestrel {
namespace {

constexpr std::string_view kSection = "Rules";
constexpr std::string_view kCountKey = "Rules";

enum class Kind {
  kText,
  kVerb,     // text; "with the" from older versions reads as "with"
  kBoolean,  // "True"/"False" in any case, or a number
  kColour,   // empty: none (-1)
  kChoice,   // the leading number, 0 when there is none
  kSize,     // the number
};

struct Field {
  std::string_view key;
  Kind kind;
  std::string Rule::*text = nullptr;
  bool Rule::*flag = nullptr;
  Colour Rule::*colour = nullptr;
  int16_t Rule::*number = nullptr;
};

constexpr Field Text(std::string_view key, std::string Rule::*member) {
  return {key, Kind::kText, member};
}
constexpr Field Verb(std::string_view key, std::string Rule::*member) {
  return {key, Kind::kVerb, member};
}
constexpr Field Flag(std::string_view key, bool Rule::*member) {
  return {key, Kind::kBoolean, nullptr, member};
}
constexpr Field Paint(std::string_view key, Colour Rule::*member) {
  return {key, Kind::kColour, nullptr, nullptr, member};
}
constexpr Field Choice(std::string_view key, int16_t Rule::*member) {
  return {key, Kind::kChoice, nullptr, nullptr, nullptr, member};
}
constexpr Field Size(std::string_view key, int16_t Rule::*member) {
  return {key, Kind::kSize, nullptr, nullptr, nullptr, member};
}

constexpr Field kName = Text("Name", &Rule::Name);
constexpr Field kSentTo = Text("SentTo", &Rule::SentTo);
constexpr Field kMessageBody = Text("MessageBody", &Rule::MessageBody);
constexpr Field kActive = Flag("Active", &Rule::Active);
constexpr Field kAlert = Flag("Alert", &Rule::Alert);
constexpr Field kAlertBackgroundColor = Paint("AlertBackgroundColor", &Rule::AlertBackgroundColor);
constexpr Field kAlertForegroundColor = Paint("AlertForegroundColor", &Rule::AlertForegroundColor);
constexpr Field kLogMessages = Flag("LogMessages", &Rule::LogMessages);
constexpr Field kLogMessageType = Text("LogMessageType", &Rule::LogMessageType);
constexpr Field kLogMessageTo = Choice("LogMessageTo", &Rule::LogMessageTo);
constexpr Field kLogMessageVerb = Verb("LogMessageVerb", &Rule::LogMessageVerb);
constexpr Field kLogMessageOccurence = Choice("LogMessageOccurence", &Rule::LogMessageOccurence);
constexpr Field kLogMessageCharacter = Text("LogMessageCharacter", &Rule::LogMessageCharacter);
constexpr Field kLogMessageColor = Paint("LogMessageColor", &Rule::LogMessageColor);
constexpr Field kEMailMessages = Flag("EMailMessages", &Rule::EMailMessages);
constexpr Field kEMailMessageFromName = Text("EMailMessageFromName", &Rule::EMailMessageFromName);
constexpr Field kEMailMessageFromAddress =
    Text("EMailMessageFromAddress", &Rule::EMailMessageFromAddress);
constexpr Field kEMailMessageToAddress =
    Text("EMailMessageToAddress", &Rule::EMailMessageToAddress);
constexpr Field kEMailMessageSubject = Text("EMailMessageSubject", &Rule::EMailMessageSubject);
constexpr Field kEMailMessageVerb = Verb("EMailMessageVerb", &Rule::EMailMessageVerb);
constexpr Field kEMailMessageOccurence =
    Choice("EMailMessageOccurence", &Rule::EMailMessageOccurence);
constexpr Field kEMailMessageCharacter =
    Text("EMailMessageCharacter", &Rule::EMailMessageCharacter);
constexpr Field kEMailMessageCollapseSpaces =
    Flag("EMailMessageCollapseSpaces", &Rule::EMailMessageCollapseSpaces);
constexpr Field kEMailMessageHTMLFormatting =
    Flag("EMailMessageHTMLFormatting", &Rule::EMailMessageHTMLFormatting);
constexpr Field kEMailMessageDisabledHours =
    Text("EMailMessageDisabledHours", &Rule::EMailMessageDisabledHours);
constexpr Field kEMailMessageSplit = Flag("EMailMessageSplit", &Rule::EMailMessageSplit);
constexpr Field kEMailMessageSplitChars =
    Size("EMailMessageSplitChars", &Rule::EMailMessageSplitChars);
constexpr Field kEMailMessageLimit = Flag("EMailMessageLimit", &Rule::EMailMessageLimit);
constexpr Field kEMailMessageLimitChars =
    Size("EMailMessageLimitChars", &Rule::EMailMessageLimitChars);
constexpr Field kLogFile = Flag("LogFile", &Rule::LogFile);
constexpr Field kLogFilename = Text("LogFilename", &Rule::LogFilename);
constexpr Field kLogPrinter = Flag("LogPrinter", &Rule::LogPrinter);
constexpr Field kPlaySound = Flag("PlaySound", &Rule::PlaySound);
constexpr Field kBeepOnMatch = Flag("BeepOnMatch", &Rule::BeepOnMatch);
constexpr Field kSoundFilename = Text("SoundFilename", &Rule::SoundFilename);
constexpr Field kNoFurther = Flag("NoFurther", &Rule::NoFurther);

// The order exports have always written; readers look keys up by name, so it is only kept for
// files that people compare by eye.
constexpr std::array<const Field*, 36> kWriteOrder = {
    &kName,
    &kSentTo,
    &kMessageBody,
    &kAlert,
    &kAlertBackgroundColor,
    &kAlertForegroundColor,
    &kLogMessages,
    &kLogMessageType,
    &kLogMessageTo,
    &kLogMessageVerb,
    &kLogMessageOccurence,
    &kLogMessageCharacter,
    &kLogMessageColor,
    &kEMailMessages,
    &kEMailMessageFromName,
    &kEMailMessageFromAddress,
    &kEMailMessageToAddress,
    &kEMailMessageSubject,
    &kEMailMessageVerb,
    &kEMailMessageOccurence,
    &kEMailMessageCharacter,
    &kEMailMessageCollapseSpaces,
    &kEMailMessageHTMLFormatting,
    &kEMailMessageDisabledHours,
    &kEMailMessageSplit,
    &kEMailMessageSplitChars,
    &kEMailMessageLimit,
    &kEMailMessageLimitChars,
    &kLogFile,
    &kLogFilename,
    &kLogPrinter,
    &kPlaySound,
    &kBeepOnMatch,
    &kSoundFilename,
    &kActive,
    &kNoFurther,
};

// Every field but Name, in the order loads have always read them.
constexpr std::array<const Field*, 35> kReadOrder = {
    &kSentTo,
    &kMessageBody,
    &kAlert,
    &kAlertForegroundColor,
    &kAlertBackgroundColor,
    &kLogMessages,
    &kLogMessageType,
    &kLogMessageTo,
    &kLogMessageVerb,
    &kLogMessageOccurence,
    &kLogMessageCharacter,
    &kLogMessageColor,
    &kEMailMessages,
    &kEMailMessageFromName,
    &kEMailMessageFromAddress,
    &kEMailMessageToAddress,
    &kEMailMessageSubject,
    &kEMailMessageVerb,
    &kEMailMessageOccurence,
    &kEMailMessageCharacter,
    &kEMailMessageCollapseSpaces,
    &kEMailMessageHTMLFormatting,
    &kEMailMessageDisabledHours,
    &kEMailMessageSplit,
    &kEMailMessageSplitChars,
    &kEMailMessageLimit,
    &kEMailMessageLimitChars,
    &kLogFile,
    &kLogFilename,
    &kLogPrinter,
    &kPlaySound,
    &kSoundFilename,
    &kBeepOnMatch,
    &kActive,
    &kNoFurther,
};

// Optional sign, digits, optional "." and digits, rounded to an integer with halves to the even
// neighbour. `whole`: the text must be nothing else; otherwise its leading number is taken.
// None without a digit, and for magnitudes no field could hold.
std::optional<int64_t> ParseNumber(std::string_view text, bool whole) {
  size_t i = 0;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  int64_t value = 0;
  bool digits = false;
  bool overflow = false;
  auto is_digit = [&](size_t at) { return at < text.size() && text[at] >= '0' && text[at] <= '9'; };
  for (; is_digit(i); ++i) {
    digits = true;
    if (value > (int64_t(1) << 40)) {
      overflow = true;
    } else {
      value = value * 10 + (text[i] - '0');
    }
  }
  int first_fraction = -1;
  bool rest_nonzero = false;
  if (i < text.size() && text[i] == '.') {
    for (++i; is_digit(i); ++i) {
      digits = true;
      if (first_fraction < 0) {
        first_fraction = text[i] - '0';
      } else if (text[i] != '0') {
        rest_nonzero = true;
      }
    }
  }
  if (!digits || overflow || (whole && i != text.size())) return std::nullopt;
  if (first_fraction > 5 || (first_fraction == 5 && (rest_nonzero || value % 2 == 1))) ++value;
  return negative ? -value : value;
}

template <typename T>
std::optional<T> Narrow(std::optional<int64_t> value) {
  if (!value || *value < std::numeric_limits<T>::min() || *value > std::numeric_limits<T>::max())
    return std::nullopt;
  return T(*value);
}

bool ParseBoolean(std::string_view text) {
  auto equals = [&](std::string_view word) {
    return text.size() == word.size() && std::equal(text.begin(), text.end(), word.begin(),
                                                    [](char a, char b) { return (a | 0x20) == b; });
  };
  if (equals("true")) return true;
  if (equals("false")) return false;
  std::optional<int64_t> number = ParseNumber(text, true);
  return number && *number != 0;
}

std::string FieldKey(const Field& field, const std::string& suffix) {
  std::string key(field.key);
  return key += suffix;
}

std::string WriteValue(const Field& field, const Rule& rule) {
  switch (field.kind) {
    case Kind::kText:
    case Kind::kVerb:
      return rule.*field.text;
    case Kind::kBoolean:
      return rule.*field.flag ? "True" : "False";
    case Kind::kColour:
      return std::to_string(rule.*field.colour);
    case Kind::kChoice:
    case Kind::kSize:
      return std::to_string(rule.*field.number);
  }
  return std::string();
}

void ReadValue(const Field& field, std::string value, Rule& rule) {
  switch (field.kind) {
    case Kind::kText:
      rule.*field.text = std::move(value);
      break;
    case Kind::kVerb:
      rule.*field.text = value == "with the" ? "with" : std::move(value);
      break;
    case Kind::kBoolean:
      rule.*field.flag = ParseBoolean(value);
      break;
    case Kind::kColour:
      rule.*field.colour = Narrow<Colour>(ParseNumber(value, true)).value_or(kDefaultColour);
      break;
    case Kind::kChoice:
      rule.*field.number = Narrow<int16_t>(ParseNumber(value, false)).value_or(0);
      // 0 never meant anything for the To column; the alias is what such rules always showed.
      if (field.number == &Rule::LogMessageTo && rule.LogMessageTo == 0) rule.LogMessageTo = 2;
      break;
    case Kind::kSize:
      rule.*field.number = Narrow<int16_t>(ParseNumber(value, true)).value_or(0);
      break;
  }
}

// The first free " (duplicate)" name. `next_k` remembers, per folded name, where the search for k
// stopped: names are only added during a read, so the smallest free k never goes down, and a file
// holding thousands of one name stays linear.
std::string DuplicateName(const RulesClass& rules, const std::string& name,
                          std::unordered_map<std::string, int64_t>& next_k) {
  std::string candidate = name + " (duplicate)";
  if (!rules.Contains(candidate)) return candidate;
  std::string folded = name;
  for (char& c : folded) {
    if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
  }
  int64_t& k = next_k[folded];
  for (k = std::max<int64_t>(k, 2);; ++k) {
    candidate = name + " (duplicate " + std::to_string(k) + ")";
    if (!rules.Contains(candidate)) return candidate;
  }
}

}  // namespace

bool WriteRulesSection(IniFile& file, const RulesClass& rules) {
  bool ok = file.Write(kSection, kCountKey, std::to_string(rules.Count()));
  for (int n = 1; n <= rules.Count(); ++n) {
    const Rule& rule = *rules.At(n);
    const std::string suffix = std::to_string(n);
    for (const Field* field : kWriteOrder) {
      ok = file.Write(kSection, FieldKey(*field, suffix), WriteValue(*field, rule)) && ok;
    }
  }
  return ok;
}

int ReadRulesSection(const IniFile& file, RulesClass& rules, RuleNameClash clash) {
  std::optional<int64_t> count = ParseIniCount(file.Read(kSection, kCountKey));
  if (!count) return 0;
  // Visiting only the numbers that have a Name key does what a walk over 1..count does, without
  // letting a huge count in a small file spin for minutes.
  std::vector<int64_t> numbers;
  for (const std::string& key : file.Keys(kSection)) {
    const int64_t number = IniKeyNumber(key, "Name");
    if (number >= 1 && number <= *count) numbers.push_back(number);
  }
  std::sort(numbers.begin(), numbers.end());

  std::unordered_map<std::string, int64_t> next_k;
  int added = 0;
  for (int64_t number : numbers) {
    if (rules.Count() >= RulesClass::kMaxRules) break;
    const std::string suffix = std::to_string(number);
    Rule rule;
    rule.Name = file.Read(kSection, FieldKey(kName, suffix));
    if (rule.Name.empty()) continue;
    if (rules.Contains(rule.Name)) {
      if (clash == RuleNameClash::kSkip) continue;
      rule.Name = DuplicateName(rules, rule.Name, next_k);
    }
    for (const Field* field : kReadOrder) {
      ReadValue(*field, file.Read(kSection, FieldKey(*field, suffix)), rule);
    }
    if (rules.Append(std::move(rule))) ++added;
  }
  return added;
}

bool ExportRules(RulesClass& rules, const std::string& path) {
  // A fresh document: the file is replaced as a whole, so no keys of an older file survive.
  IniFile ini;
  if (!WriteRulesSection(ini, rules) || !ini.Save(path)) return false;
  rules.SetChanged(false);
  return true;
}

RulesImport ImportRules(RulesClass& rules, const std::string& path) {
  IniFile ini;
  switch (ini.Load(path)) {
    case IniLoad::kLoaded:
      break;
    case IniLoad::kNotFound:
      return RulesImport::kNotFound;
    case IniLoad::kTooLarge:
    case IniLoad::kUnreadable:
      return RulesImport::kInvalid;
  }
  if (!ParseIniCount(ini.Read(kSection, kCountKey))) return RulesImport::kInvalid;
  ReadRulesSection(ini, rules, RuleNameClash::kRename);
  rules.SetChanged(true);
  return RulesImport::kImported;
}

}  // namespace kestrel
