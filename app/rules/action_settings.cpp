#include "app/rules/action_settings.h"

#include <charconv>

namespace kestrel {

namespace {

constexpr int kLastOccurrence = 100;

// A whole number in range made of the text's digits only; -1 otherwise.
int SmallNumber(std::string_view text, int last) {
  if (text.empty() || text.size() > 2) return -1;
  int value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return -1;
    value = value * 10 + (c - '0');
  }
  return value <= last ? value : -1;
}

}  // namespace

std::string Ordinal(int n) {
  const int last_digit = n % 10;
  const int last_two = n % 100;
  const char* suffix = "th";
  if (last_digit == 1 && last_two != 11) {
    suffix = "st";
  } else if (last_digit == 2 && last_two != 12) {
    suffix = "nd";
  } else if (last_digit == 3 && last_two != 13) {
    suffix = "rd";
  }
  return std::to_string(n) + suffix;
}

std::vector<std::string> OccurrenceEntries() {
  std::vector<std::string> entries{"word"};
  for (int n = 1; n <= kLastOccurrence; ++n) entries.push_back(Ordinal(n));
  return entries;
}

std::string OccurrenceText(int occurrence) {
  if (occurrence == -1) return "word";
  if (occurrence >= 1 && occurrence <= kLastOccurrence) return Ordinal(occurrence);
  return {};
}

int16_t OccurrenceFromText(std::string_view text) {
  if (text == "word") return -1;
  if (text.size() <= 2) return 0;
  return LeadingNumber(text.substr(0, text.size() - 2));
}

std::string ShownVerb(std::string_view verb) {
  for (const char* entry : kVerbs) {
    if (verb == entry) return std::string(verb);
  }
  return {};
}

int16_t LeadingNumber(std::string_view text) {
  size_t start = 0;
  while (start < text.size() && (text[start] == ' ' || text[start] == '\t')) ++start;
  size_t end = start;
  while (end < text.size() && text[end] >= '0' && text[end] <= '9') ++end;
  int16_t value = 0;
  const auto [ptr, error] = std::from_chars(text.data() + start, text.data() + end, value);
  return error == std::errc() ? value : 0;
}

DisabledHours::DisabledHours(std::string_view text) {
  while (!text.empty()) {
    const size_t comma = text.find(',');
    const std::string_view entry = text.substr(0, comma);
    text = comma == std::string_view::npos ? std::string_view() : text.substr(comma + 1);
    const size_t colon = entry.find(':');
    if (colon == std::string_view::npos) continue;
    const int day = SmallNumber(entry.substr(0, colon), kDays - 1);
    const int hour = SmallNumber(entry.substr(colon + 1), kHours - 1);
    if (day >= 0 && hour >= 0) cells_[day][hour] = true;
  }
}

void DisabledHours::CopyToEveryday(const HourColumn& hours) {
  for (int day = 0; day < kDays; ++day) cells_[day] = hours;
}

void DisabledHours::CopyToWeekdays(const HourColumn& hours) {
  for (int day = 1; day <= 5; ++day) cells_[day] = hours;
}

void DisabledHours::CopyToWeekends(const HourColumn& hours) {
  cells_[0] = hours;
  cells_[6] = hours;
}

std::string DisabledHours::Text() const {
  std::string text;
  for (int day = 0; day < kDays; ++day) {
    for (int hour = 0; hour < kHours; ++hour) {
      if (!cells_[day][hour]) continue;
      if (!text.empty()) text += ',';
      text += std::to_string(day) + ':' + std::to_string(hour);
    }
  }
  return text;
}

HourColumn HoursGridEditor::ShowDay(int day, const HourColumn& boxes) {
  Store(boxes);
  shown_day_ = day >= 0 && day < DisabledHours::kDays ? day : 0;
  return grid_.Column(shown_day_);
}

void HoursGridEditor::Store(const HourColumn& boxes) {
  if (shown_day_ >= 0) grid_.SetColumn(shown_day_, boxes);
}

bool LogMessageSettingsComplete(const Rule& pending) {
  return !ShownVerb(pending.LogMessageVerb).empty() &&
         !OccurrenceText(pending.LogMessageOccurence).empty() &&
         !pending.LogMessageCharacter.empty();
}

EMailSettingsCheck CheckEMailSettings(const Rule& pending, std::string_view smtp_mail_server) {
  if (pending.EMailMessageToAddress.empty() || pending.EMailMessageFromAddress.empty() ||
      ShownVerb(pending.EMailMessageVerb).empty() ||
      OccurrenceText(pending.EMailMessageOccurence).empty() ||
      pending.EMailMessageCharacter.empty()) {
    return EMailSettingsCheck::kIncomplete;
  }
  return smtp_mail_server.empty() ? EMailSettingsCheck::kNoMailServer
                                  : EMailSettingsCheck::kComplete;
}

bool ConfirmLogMessageAction(const Rule& pending, MessageBoxes& boxes) {
  if (LogMessageSettingsComplete(pending)) return true;
  boxes.Show(kLogMessageIncomplete, kActionSettingsTitle, MessageBoxes::Icon::kInformation,
             MessageBoxes::Buttons::kOk);
  return false;
}

bool ConfirmEMailAction(const Rule& pending, std::string_view smtp_mail_server,
                        MessageBoxes& boxes) {
  switch (CheckEMailSettings(pending, smtp_mail_server)) {
    case EMailSettingsCheck::kComplete:
      return true;
    case EMailSettingsCheck::kNoMailServer:
      boxes.Show(kNoMailServer, kActionSettingsTitle, MessageBoxes::Icon::kInformation,
                 MessageBoxes::Buttons::kOk);
      return true;
    case EMailSettingsCheck::kIncomplete:
      break;
  }
  boxes.Show(kEMailMessageIncomplete, kActionSettingsTitle, MessageBoxes::Icon::kInformation,
             MessageBoxes::Buttons::kOk);
  return false;
}

}  // namespace kestrel
