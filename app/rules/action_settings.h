#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "app/platform/message_box.h"
#include "app/rules/rule.h"

namespace kestrel {

// The settings of a rule's alert, Messages-window and e-mail actions as their dialogs show and
// store them. No windows here: the dialogs read their controls and call these.

// The entries of the Occurence lists: "word", then "1st" ... "100th".
std::vector<std::string> OccurrenceEntries();
// "1st", "2nd", "3rd", "4th", "11th", "12th", "13th", "21st", ... for n >= 1.
std::string Ordinal(int n);
// The entry that shows an occurrence: "word" for -1, the ordinal for 1..100, empty (no entry
// selected) for anything else.
std::string OccurrenceText(int occurrence);
// The occurrence an entry stands for: -1 for "word", else the number in front of the two-letter
// suffix, 0 when there is none or it does not fit 16 bits.
int16_t OccurrenceFromText(std::string_view text);

// The entries of the Verb and Character lists.
inline constexpr std::array<const char*, 2> kVerbs = {"after", "with"};
inline constexpr std::array<const char*, 3> kCharacters = {"character", "linefeed", "space"};
// The verb a Verb list shows for a pending value: the value when the list has it, else empty.
std::string ShownVerb(std::string_view verb);

// The leading decimal number of a text (leading blanks skipped, no sign): 0 when the text does
// not start with one or when it does not fit a 16-bit signed integer ("abc", "32768").
int16_t LeadingNumber(std::string_view text);

// The days and hours in which a rule's e-mail action does not trigger, as the e-mail dialog edits
// them: hour 0-23 by day 0-6 (0 = Sunday), true = disabled.
using HourColumn = std::array<bool, 24>;

class DisabledHours {
 public:
  static constexpr int kDays = 7;
  static constexpr int kHours = 24;

  DisabledHours() = default;
  // From the profile form "d:h,d:h,...". Entries that are not two numbers in range are skipped.
  explicit DisabledHours(std::string_view text);

  bool At(int day, int hour) const { return cells_[day][hour]; }
  HourColumn Column(int day) const { return cells_[day]; }
  void SetColumn(int day, const HourColumn& hours) { cells_[day] = hours; }
  void CopyToEveryday(const HourColumn& hours);
  void CopyToWeekdays(const HourColumn& hours);  // Monday to Friday
  void CopyToWeekends(const HourColumn& hours);  // Sunday and Saturday

  // The profile form: day by day, hour by hour, every disabled hour as "d:h", comma-separated.
  std::string Text() const;

 private:
  std::array<HourColumn, kDays> cells_{};
};

// The hours grid with the day whose column the dialog's 24 check boxes show.
class HoursGridEditor {
 public:
  explicit HoursGridEditor(std::string_view text) : grid_(text) {}

  // Stores `boxes` into the column of the day shown so far (when one is shown) and answers the
  // column of `day`, which is shown from now on. Days outside 0-6 are taken as Sunday.
  HourColumn ShowDay(int day, const HourColumn& boxes);
  // Stores `boxes` into the column of the day shown, when one is.
  void Store(const HourColumn& boxes);
  int ShownDay() const { return shown_day_; }  // -1: none
  DisabledHours& Grid() { return grid_; }
  const DisabledHours& Grid() const { return grid_; }

 private:
  DisabledHours grid_;
  int shown_day_ = -1;
};

// The completeness tests of the Messages-window and e-mail actions, on what the settings dialogs
// show for these pending values.
bool LogMessageSettingsComplete(const Rule& pending);
enum class EMailSettingsCheck { kComplete, kIncomplete, kNoMailServer };
EMailSettingsCheck CheckEMailSettings(const Rule& pending, std::string_view smtp_mail_server);

inline constexpr char kLogMessageIncomplete[] =
    "Not all information has been entered in the 'Log message in Messages window' configuration "
    "window.";
inline constexpr char kEMailMessageIncomplete[] =
    "Not all information has been entered in the 'Send e-mail message' configuration window.";
inline constexpr char kNoMailServer[] =
    "The 'SMTP Mail Server' value in View|Options must be filled-in for this rule to work.";
// Title of these information boxes.
inline constexpr char kActionSettingsTitle[] = "Kestrel";

// Whether the action's check box may stay checked for these pending values; when not, the
// completeness message has been shown. The e-mail one also warns, box kept checked, when no mail
// server is set. Run on checking the box and on the settings dialog's OK while it is checked.
bool ConfirmLogMessageAction(const Rule& pending, MessageBoxes& boxes);
bool ConfirmEMailAction(const Rule& pending, std::string_view smtp_mail_server,
                        MessageBoxes& boxes);

}  // namespace kestrel
