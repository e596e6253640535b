#include "app/profile/profile.h"

#include <sys/stat.h>

#include <array>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <limits>
#include <optional>
#include <system_error>
#include <variant>

#include "app/platform/paths.h"
#include "app/platform/program_log.h"
#include "app/profile/ini_file.h"
#include "app/rules/rules_file.h"

namespace kestrel {
namespace {

constexpr std::string_view kSettingsSection = "Settings";
constexpr std::string_view kVersionKey = "Version";
constexpr std::string_view kSMTPMailServerKey = "SMTPMailServer";
constexpr std::string_view kSavingCaption = "Saving Profile";
// Below these Versions the COM port keys had other names, and ReversePolarity meant something else.
constexpr std::string_view kCOMPortKeysVersion = "1.0.1";
constexpr std::string_view kReversePolarityVersion = "0.7.0";
constexpr int kSettingsProgressSteps = 45;

// Window positions and sizes beyond this many twips are no screen's; refusing them keeps the
// windows' conversions to pixels in range.
constexpr double kMaxMagnitude = std::numeric_limits<int32_t>::max();

enum class LoadRule {
  kAlways,    // taken as read, also when empty
  kNonEmpty,  // applied when not empty (and, for numbers and Booleans, when it parses)
  kPositive,  // applied when the number is greater than 0
};

enum KeyFlag : unsigned {
  kGeometry = 1,          // not written while the main window is minimised
  kSinceCOMPortKeys = 2,  // read only from Versions that have the key (old_name below them)
  kSource = 4,            // SieveSource: the keys below depend on whether it was applied
  kNeedsSource = 8,
};

using Member =
    std::variant<std::string Settings::*, bool Settings::*, int Settings::*, double Settings::*>;

struct SettingKey {
  std::string_view name;
  Member member;
  LoadRule rule = LoadRule::kNonEmpty;
  unsigned flags = 0;
  std::string_view old_name = {};
  int max = std::numeric_limits<int32_t>::max();
  int min = std::numeric_limits<int32_t>::min();
};

// Section "Settings" in the order a save writes it; Version goes first, SMTPMailServer is read
// before Version is looked at.
const std::array<SettingKey, 58> kSettingKeys = {{
    {"SMTPMailServer", &Settings::SMTPMailServer, LoadRule::kAlways},
    {"ReversePolarity", &Settings::ReversePolarity},
    {"AutoReconnect", &Settings::AutoReconnect},
    {"COMPortReversePolarity", &Settings::COMPortReversePolarity, LoadRule::kNonEmpty,
     kSinceCOMPortKeys, "RM100ReversePolarity"},
    {"COMPortNumber", &Settings::COMPortNumber, LoadRule::kNonEmpty, kSinceCOMPortKeys,
     "RM100COMPort"},
    {"COMPortDevice", &Settings::COMPortDevice, LoadRule::kNonEmpty, kSinceCOMPortKeys},
    {"ToolBar", &Settings::ToolBar},
    {"StatusBar", &Settings::StatusBar},
    {"MDTColumns", &Settings::MDTColumns, LoadRule::kPositive, 0, {}, kMaxMDTColumns},
    {"TerminalAddressStart", &Settings::TerminalAddressStart, LoadRule::kPositive, 0, {},
     kMaxTerminalAddressByte},
    {"TerminalAddressEnd", &Settings::TerminalAddressEnd, LoadRule::kPositive, 0, {},
     kMaxTerminalAddressByte},
    {"Ignore35Prefix", &Settings::Ignore35Prefix},
    {"IgnoreDownloadedStrings", &Settings::IgnoreDownloadedStrings},
    {"AutoSave", &Settings::AutoSave},
    {"ActivityLED", &Settings::ActivityLED},
    {"DisplayInSystemTray", &Settings::DisplayInSystemTray},
    {"AlwaysOnTop", &Settings::AlwaysOnTop},
    {"MainTop", &Settings::MainTop, LoadRule::kNonEmpty, kGeometry},
    {"MainLeft", &Settings::MainLeft, LoadRule::kNonEmpty, kGeometry},
    {"MainWidth", &Settings::MainWidth, LoadRule::kPositive, kGeometry},
    {"MainHeight", &Settings::MainHeight, LoadRule::kPositive, kGeometry},
    {"MessageDetailsTop", &Settings::MessageDetailsTop, LoadRule::kNonEmpty, kGeometry},
    {"MessageDetailsLeft", &Settings::MessageDetailsLeft, LoadRule::kNonEmpty, kGeometry},
    {"MessageDetailsHeight", &Settings::MessageDetailsHeight, LoadRule::kPositive, kGeometry},
    {"AlertTop", &Settings::AlertTop, LoadRule::kNonEmpty, kGeometry},
    {"AlertLeft", &Settings::AlertLeft, LoadRule::kNonEmpty, kGeometry},
    {"AlertHeight", &Settings::AlertHeight, LoadRule::kPositive, kGeometry},
    {"VerticalSplitter", &Settings::VerticalSplitter, LoadRule::kPositive},
    {"HorizontalSplitter", &Settings::HorizontalSplitter, LoadRule::kPositive},
    {"MessagesForeground", &Settings::MessagesForeground},
    {"MessagesBackground", &Settings::MessagesBackground},
    {"TerminalsForeground", &Settings::TerminalsForeground},
    {"TerminalsBackground", &Settings::TerminalsBackground},
    {"MDTForeground", &Settings::MDTForeground},
    {"MDTBackground", &Settings::MDTBackground},
    {"MessagesCol1", &Settings::MessagesCol1, LoadRule::kPositive},
    {"MessagesCol2", &Settings::MessagesCol2, LoadRule::kPositive},
    {"MessagesCol4", &Settings::MessagesCol4, LoadRule::kPositive},
    {"TerminalsCol1", &Settings::TerminalsCol1, LoadRule::kPositive},
    {"MaxMessagesToSave", &Settings::MaxMessagesToSave, LoadRule::kPositive},
    {"Monitoring", &Settings::Monitoring},
    {"Listen", &Settings::Listen},
    {"SamplingRate", &Settings::SamplingRate, LoadRule::kPositive},
    {"SieveSource", &Settings::SieveSource, LoadRule::kNonEmpty, kSource},
    {"ServerAddress", &Settings::ServerAddress, LoadRule::kAlways, kNeedsSource},
    {"ServerPort", &Settings::ServerPort, LoadRule::kNonEmpty, kNeedsSource},
    {"MDTFontName", &Settings::MDTFontName},
    {"MDTFontSize", &Settings::MDTFontSize, LoadRule::kPositive},
    {"MDTFontBold", &Settings::MDTFontBold},
    {"MDTFontItalic", &Settings::MDTFontItalic},
    {"AudioInputDevice", &Settings::AudioInputDevice, LoadRule::kAlways},
    {"COMPortName", &Settings::COMPortName, LoadRule::kAlways},
    {"DecoderMode", &Settings::DecoderMode, LoadRule::kNonEmpty, 0, {}, kDecoderModeRobust,
     kDecoderModeExact},
    {"SMTPSecurity", &Settings::SMTPSecurity, LoadRule::kNonEmpty, 0, {}, kMaxSMTPSecurity, 0},
    {"SMTPPort", &Settings::SMTPPort, LoadRule::kNonEmpty, 0, {}, kMaxSMTPPort, 0},
    {"SMTPUserName", &Settings::SMTPUserName, LoadRule::kAlways},
    {"SMTPCAFile", &Settings::SMTPCAFile, LoadRule::kAlways},
    {"SMTPPasswordFile", &Settings::SMTPPasswordFile, LoadRule::kAlways},
}};

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

bool EqualsNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if ((a[i] | 0x20) != (b[i] | 0x20)) return false;
  }
  return true;
}

// The value's leading decimal number (blanks, a sign, digits, a fraction), as profiles have
// always been read: "12abc" is 12. None without a digit, or when it is no finite double; `whole`
// also asks that nothing follow the number.
std::optional<double> LeadingNumber(std::string_view text, bool whole = false) {
  size_t i = 0;
  while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  std::string digits;
  size_t start = i;
  while (i < text.size() && IsDigit(text[i])) ++i;
  digits.append(text.substr(start, i - start));
  if (i < text.size() && text[i] == '.') {
    start = ++i;
    while (i < text.size() && IsDigit(text[i])) ++i;
    if (i > start) digits.append(".").append(text.substr(start, i - start));
  }
  if (digits.empty() || digits.front() == '.') {
    if (digits.empty()) return std::nullopt;
    digits.insert(digits.begin(), '0');
  }
  if (whole) {
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
    if (i != text.size()) return std::nullopt;
  }
  double value = 0;
  auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
  if (error != std::errc() || end != digits.data() + digits.size() || !std::isfinite(value)) {
    return std::nullopt;
  }
  return negative ? -value : value;
}

double RoundHalfToEven(double value) {
  double floor = std::floor(value);
  double fraction = value - floor;
  if (fraction > 0.5 || (fraction == 0.5 && std::fmod(floor, 2.0) != 0)) floor += 1;
  return floor;
}

// "True"/"False" in any case, or a number, non-zero meaning true.
std::optional<bool> ParseBoolean(std::string_view text) {
  if (EqualsNoCase(text, "True")) return true;
  if (EqualsNoCase(text, "False")) return false;
  std::optional<double> number = LeadingNumber(text, /*whole=*/true);
  if (!number) return std::nullopt;
  return *number != 0;
}

// Applies one value under its key's load rule; true when the setting took it.
bool Apply(const SettingKey& key, const std::string& value, Settings& settings) {
  if (auto member = std::get_if<std::string Settings::*>(&key.member)) {
    if (value.empty() && key.rule != LoadRule::kAlways) return false;
    settings.*(*member) = value;
    return true;
  }
  if (auto member = std::get_if<bool Settings::*>(&key.member)) {
    std::optional<bool> parsed = ParseBoolean(value);
    if (!parsed) return false;
    settings.*(*member) = *parsed;
    return true;
  }
  std::optional<double> number = LeadingNumber(value);
  if (!number) return false;
  if (auto member = std::get_if<int Settings::*>(&key.member)) {
    // Positivity is judged after rounding, so 0.4 cannot slip a 0 past the rule.
    double rounded = RoundHalfToEven(*number);
    if (rounded < key.min || rounded > key.max) return false;
    if (key.rule == LoadRule::kPositive && rounded <= 0) return false;
    settings.*(*member) = int(rounded);
    return true;
  }
  if (std::abs(*number) > kMaxMagnitude) return false;
  if (key.rule == LoadRule::kPositive && *number <= 0) return false;
  settings.*std::get<double Settings::*>(key.member) = *number;
  return true;
}

// What a key takes, for the warning about a value it did not.
std::string Accepted(const SettingKey& key) {
  if (std::holds_alternative<bool Settings::*>(key.member)) return "True, False or a number";
  const bool positive = key.rule == LoadRule::kPositive;
  if (std::holds_alternative<double Settings::*>(key.member)) {
    return positive ? "a number greater than 0" : "a number";
  }
  const int min = positive ? std::max(key.min, 1) : key.min;
  if (key.max == std::numeric_limits<int32_t>::max()) {
    if (min == 1) return "a whole number greater than 0";
    if (min == std::numeric_limits<int32_t>::min()) return "a whole number";
  }
  return "a whole number from " + std::to_string(min) + " to " + std::to_string(key.max);
}

// A value as a warning line shows it: short, with control bytes as 0xHH so that none reaches
// a terminal raw.
std::string Shown(std::string_view value) {
  constexpr size_t kShownLength = 40;
  std::string shown;
  for (size_t i = 0; i < value.size() && i < kShownLength; ++i) {
    const unsigned char c = static_cast<unsigned char>(value[i]);
    if (c < 0x20 || c == 0x7F) {
      char hex[8];
      std::snprintf(hex, sizeof hex, "0x%02X", c);
      shown += hex;
    } else {
      shown += char(c);
    }
  }
  if (value.size() > kShownLength) shown += "...";
  return shown;
}

// strerror's text as the middle of a sentence: "permission denied".
std::string Reason(int error) {
  std::string reason = std::strerror(error);
  if (!reason.empty() && reason[0] >= 'A' && reason[0] <= 'Z') reason[0] = char(reason[0] + 32);
  return reason;
}

// Why a file that loaded has no Version, from its content.
std::string MissingVersionReason(const IniFile& file) {
  const std::string content = file.Serialize();
  for (const char c : content) {
    const unsigned char byte = static_cast<unsigned char>(c);
    if (byte < 0x20 && byte != '\t' && byte != '\r' && byte != '\n' && byte != '\f' &&
        byte != '\v') {
      return "not a text file";
    }
  }
  if (file.SectionCount() == 0) return "no sections: not a profile";
  if (!file.HasSection(kSettingsSection)) return "no [Settings] section";
  return "no Version in [Settings]";
}

// Why the file at `path` cannot be a profile before it is read; "" when it may be one.
std::string UnloadableReason(const std::string& path) {
  struct stat status;
  if (::stat(path.c_str(), &status) != 0) {
    return errno == ENOENT || errno == ENOTDIR ? "no such file" : Reason(errno);
  }
  if (S_ISDIR(status.st_mode)) return "is a directory";
  if (!S_ISREG(status.st_mode)) return "not a regular file";
  return "";
}

// The shortest decimal text that reads back as the same value, never in exponent form (which
// the leading-number read would cut short).
std::string FormatNumber(double value) {
  if (!std::isfinite(value) || value == 0) return "0";
  char buffer[400];
  auto [end, error] =
      std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed);
  if (error != std::errc()) return "0";
  return std::string(buffer, end);
}

std::string FormatValue(const SettingKey& key, const Settings& settings) {
  return std::visit(
      [&](auto member) -> std::string {
        const auto& value = settings.*member;
        using Value = std::decay_t<decltype(value)>;
        if constexpr (std::is_same_v<Value, std::string>) {
          return value;
        } else if constexpr (std::is_same_v<Value, bool>) {
          return value ? "True" : "False";
        } else if constexpr (std::is_same_v<Value, int>) {
          return std::to_string(value);
        } else {
          return FormatNumber(value);
        }
      },
      key.member);
}

bool IsSingleFileVersion(std::string_view version) { return version <= kLastSingleFileVersion; }

std::string SideFilePath(std::string_view profile, std::string_view kind) {
  std::string path = RemoveExtension(profile);
  path.append(kind).append(".").append(GetExtension(profile));
  return path;
}

bool NamesDefaultProfile(std::string_view path) {
  return path.size() > kDefaultProfileName.size() && path.ends_with(kDefaultProfileName) &&
         (path[path.size() - kDefaultProfileName.size() - 1] == '/' ||
          path[path.size() - kDefaultProfileName.size() - 1] == '\\');
}

// Reads the rules of `file` without touching the set's changed mark: where the rules came from
// decides that. A rule whose name the set holds already is left out; the one held stays as it is.
void ReadRules(const IniFile& file, RulesClass& rules) {
  const bool changed = rules.Changed();
  ReadRulesSection(file, rules, RuleNameClash::kSkip);
  rules.SetChanged(changed);
}

// A file the save updates in place (the main file, the aliases file): it must be read first, or
// its other content would be lost; a missing file is simply created.
bool LoadForUpdate(IniFile& file, const std::string& path) {
  IniLoad loaded = file.Load(path);
  return loaded == IniLoad::kLoaded || loaded == IniLoad::kNotFound;
}

// Shows the Status window on demand and makes sure it goes away however the save ends.
class StatusGuard {
 public:
  explicit StatusGuard(SaveStatus* status) : status_(status) {}
  ~StatusGuard() {
    if (shown_) status_->Close();
  }
  void Show(std::string_view label) {
    if (status_ == nullptr) return;
    status_->Show(kSavingCaption, label, 0);
    shown_ = true;
  }
  void SetProgress(int percent) {
    if (shown_) status_->SetProgress(percent);
  }

 private:
  SaveStatus* status_;
  bool shown_ = false;
};

void WriteSettingsSection(IniFile& file, const Settings& settings, const IniFile& previous,
                          bool minimised, StatusGuard& status) {
  file.Write(kSettingsSection, kVersionKey, kProfileVersion);
  int step = 0;
  for (size_t i = 0; i < kSettingKeys.size(); ++i) {
    const SettingKey& key = kSettingKeys[i];
    if ((key.flags & kGeometry) && minimised) {
      // A minimised window has no meaningful geometry; the file keeps what it had, even when
      // it is being rebuilt from scratch.
      if (&file != &previous) {
        if (std::optional<std::string> kept = previous.Find(kSettingsSection, key.name)) {
          file.Write(kSettingsSection, key.name, *kept);
        }
      }
    } else {
      // A value that cannot be a line of the file (a line break) keeps the file's old value.
      file.Write(kSettingsSection, key.name, FormatValue(key, settings));
    }
    int reached = int((i + 1) * kSettingsProgressSteps / kSettingKeys.size());
    if (reached > step) {
      step = reached;
      status.SetProgress(step * 100 / kSettingsProgressSteps);
    }
  }
}

}  // namespace

std::string AliasesFilePath(std::string_view profile) { return SideFilePath(profile, "Terminals"); }

std::string RulesFilePath(std::string_view profile) { return SideFilePath(profile, "Rules"); }

std::string ProfileCaption(std::string_view profile) {
  if (NamesDefaultProfile(profile)) return std::string(kProgramName);
  return GetFileTitle(profile) + " - " + std::string(kProgramName);
}

std::string ProfileLoadFailureText(std::string_view path, const ProfileLoadReport& report) {
  std::string text = "Unable to load profile ";
  text += path;
  if (!report.failure.empty()) text += ": " + report.failure;
  return text;
}

bool LoadProfile(const std::string& path, ProfileStores stores, std::string* caption,
                 ProfileLoadReport* report) {
  ProfileLoadReport unused;
  if (report == nullptr) report = &unused;
  Settings& settings = stores.settings;
  report->failure = UnloadableReason(path);
  if (!report->failure.empty()) return false;
  std::error_code error;
  const uintmax_t length = std::filesystem::file_size(path, error);
  if (error) {
    report->failure = Reason(error.value());
    return false;
  }
  if (length == 0) return true;
  IniFile main;
  switch (main.Load(path)) {
    case IniLoad::kLoaded:
      break;
    case IniLoad::kNotFound:
      report->failure = "no such file";
      return false;
    case IniLoad::kTooLarge:
      report->failure = "larger than a profile can be (" + std::to_string(kIniMaxFileSize >> 20) +
                        " MiB, " + std::to_string(kIniMaxLines) + " lines)";
      return false;
    case IniLoad::kUnreadable:
      report->failure = "cannot be read: " + Reason(errno);
      return false;
  }

  settings.SMTPMailServer = main.Read(kSettingsSection, kSMTPMailServerKey);
  const std::string version = main.Read(kSettingsSection, kVersionKey);
  if (version.empty()) {
    report->failure = MissingVersionReason(main);
    return false;
  }
  const int address_start = settings.TerminalAddressStart;
  const int address_end = settings.TerminalAddressEnd;

  const bool old_com_port_keys = version < kCOMPortKeysVersion;
  bool source_applied = false;
  for (const SettingKey& key : kSettingKeys) {
    if (key.name == kSMTPMailServerKey) continue;
    std::string_view name = key.name;
    if ((key.flags & kSinceCOMPortKeys) && old_com_port_keys) {
      if (key.old_name.empty()) continue;
      name = key.old_name;
    }
    if ((key.flags & kNeedsSource) && !source_applied) continue;
    const std::string value = main.Read(kSettingsSection, name);
    const bool applied = Apply(key, value, settings);
    if (key.flags & kSource) source_applied = applied;
    if (!applied && !value.empty()) {
      report->warnings.push_back(path + ": " + std::string(name) + "=" + Shown(value) +
                                 " ignored: not " + Accepted(key) + "; using " +
                                 FormatValue(key, settings));
    }
  }
  if (settings.TerminalAddressStart > settings.TerminalAddressEnd) {
    // No record could hold such an address: every message would go to one nameless terminal.
    report->warnings.push_back(
        path + ": TerminalAddressStart=" + std::to_string(settings.TerminalAddressStart) +
        " is after TerminalAddressEnd=" + std::to_string(settings.TerminalAddressEnd) + "; using " +
        std::to_string(address_start) + " to " + std::to_string(address_end));
    settings.TerminalAddressStart = address_start;
    settings.TerminalAddressEnd = address_end;
  }
  // Before 0.7.0 the key held the opposite sense; no key read after it depends on it.
  if (version < kReversePolarityVersion) settings.ReversePolarity = false;

  if (IsSingleFileVersion(version)) {
    ReadAliasesSection(main, stores.aliases, EmptyAliases::kSkip);
    stores.aliases.SetChanged(true);
    settings.RewriteProfileOnSave = true;
    ReadRules(main, stores.rules);
    stores.rules.SetChanged(true);
  } else {
    // Side files that are missing or unreadable simply add nothing.
    IniFile side;
    if (side.Load(AliasesFilePath(path)) == IniLoad::kLoaded) {
      ReadAliasesSection(side, stores.aliases, EmptyAliases::kSkip);
    }
    if (side.Load(RulesFilePath(path)) == IniLoad::kLoaded) ReadRules(side, stores.rules);
  }

  if (caption != nullptr) {
    *caption = settings.CurrentProfile.empty() ? std::string(kProgramName) : ProfileCaption(path);
  }
  settings.CurrentProfile = path;
  return true;
}

bool SaveProfile(const std::string& path, bool save_settings, ProfileStores stores,
                 const SaveOptions& options, std::string* caption, std::string* failure) {
  Settings& settings = stores.settings;
  std::string unused;
  if (failure == nullptr) failure = &unused;
  // Names the file and the reason; called right after the failing step, while errno holds it.
  const auto fail = [&](const std::string& file) {
    *failure = file + ": " + Reason(errno);
    return false;
  };
  // The side file names would then be bare names in whatever the working directory is.
  if (path.empty()) {
    *failure = "no profile name";
    return false;
  }
  // Rebuilding the main file drops the aliases and rules an old single-file profile holds
  // there, so both side files must then be written whatever their marks say.
  const bool rewrite = save_settings && settings.RewriteProfileOnSave;
  const bool write_aliases = stores.aliases.Changed() || rewrite;
  const bool write_rules = save_settings && (stores.rules.Changed() || rewrite);
  StatusGuard status(options.status);

  // Every file is built in memory first and then replaced whole.
  IniFile main;
  bool write_main = false;
  if (save_settings) {
    if (write_aliases || write_rules) status.Show("Saving settings...");
    IniFile previous;
    if (rewrite) {
      // Only read to carry over what a minimised save does not write; unreadable is no loss.
      previous.Load(path);
    } else if (!LoadForUpdate(main, path)) {
      return fail(path);
    }
    WriteSettingsSection(main, settings, rewrite ? previous : main, options.minimised, status);
    write_main = true;
  } else if (write_aliases && main.Load(path) == IniLoad::kLoaded) {
    // An old single-file profile keeps being read from its main file until a save with
    // settings rewrites it, so the aliases must be updated there too or they would be lost.
    const std::string version = main.Read(kSettingsSection, kVersionKey);
    write_main = !version.empty() && IsSingleFileVersion(version);
  }

  IniFile aliases_file;
  if (write_aliases) {
    status.Show("Saving terminal aliases...");
    auto progress = [&](int percent) { status.SetProgress(percent); };
    if (!LoadForUpdate(aliases_file, AliasesFilePath(path))) return fail(AliasesFilePath(path));
    if (!WriteAliasesSection(aliases_file, stores.aliases, progress) ||
        (write_main && !save_settings && !WriteAliasesSection(main, stores.aliases))) {
      *failure = "an alias cannot be stored in a profile";
      return false;
    }
  }

  IniFile rules_file;
  if (write_rules) {
    status.Show("Saving rules...");
    // A text with a line break cannot be stored and reads back empty; the file is fresh, so no
    // stale value stands in for it, and the other rules are still worth saving.
    (void)WriteRulesSection(rules_file, stores.rules);
    status.SetProgress(100);
  }

  // Side files first: until the main file is replaced, an old single-file profile still reads
  // everything from it.
  if (write_aliases) {
    if (!aliases_file.Save(AliasesFilePath(path))) return fail(AliasesFilePath(path));
    stores.aliases.SetChanged(false);
  }
  if (write_rules) {
    if (!rules_file.Save(RulesFilePath(path))) return fail(RulesFilePath(path));
    stores.rules.SetChanged(false);
  }
  if (write_main) {
    if (!main.Save(path)) return fail(path);
    if (save_settings) {
      settings.SettingsChanged = false;
      settings.RewriteProfileOnSave = false;
    }
  }

  settings.CurrentProfile = path;
  if (caption != nullptr) *caption = ProfileCaption(path);
  return true;
}

std::string CommandLineFromArguments(int argc, const char* const* argv) {
  std::string command_line;
  for (int i = 1; i < argc; ++i) {
    if (i > 1) command_line += ' ';
    command_line += argv[i];
  }
  return command_line;
}

StartupProfile ResolveStartupProfile(std::string_view command_line,
                                     std::string_view config_directory,
                                     const std::function<bool(const std::string&)>& file_exists) {
  StartupProfile startup;
  startup.minimized = command_line == "-minimized";
  if (!command_line.empty() && !startup.minimized) {
    std::string_view name = command_line;
    if (name.size() >= 2 && name.front() == '"' && name.back() == '"') {
      name = name.substr(1, name.size() - 2);
    }
    startup.load_path = name.find_first_of("/\\") == name.npos ? JoinPath(config_directory, name)
                                                               : std::string(name);
    return startup;
  }
  std::string default_path = JoinPath(config_directory, kDefaultProfileName);
  if (file_exists(default_path)) {
    startup.load_path = std::move(default_path);
  } else if (command_line.empty()) {
    startup.default_profile = std::move(default_path);
  }
  return startup;
}

bool LoadStartupProfile(const StartupProfile& startup, ProfileStores stores, MessageBoxes& boxes) {
  if (!startup.load_path.empty()) {
    ProfileLoadReport report;
    const bool loaded = LoadProfile(startup.load_path, stores, nullptr, &report);
    for (const std::string& warning : report.warnings) LogProgramEvent(warning);
    if (loaded) {
      stores.settings.CurrentProfile = startup.load_path;
      return true;
    }
    LogProgramEvent(ProfileLoadFailureText(startup.load_path, report));
    std::string text = "Unable to load profile ";
    boxes.Show(text + startup.load_path, "Error Loading Profile", MessageBoxes::Icon::kExclamation,
               MessageBoxes::Buttons::kOk);
    return false;
  }
  if (!startup.default_profile.empty()) {
    stores.settings.CurrentProfile = startup.default_profile;
    // The first save creates the file; its directory may not exist yet on a new installation.
    std::string directory = std::filesystem::path(startup.default_profile).parent_path().string();
    if (!directory.empty()) MakeDirectories(directory);
  }
  return true;
}

}  // namespace kestrel
