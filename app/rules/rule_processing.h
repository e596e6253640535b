#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "app/platform/clock.h"
#include "app/platform/text_window.h"
#include "app/profile/settings.h"
#include "app/traffic/event_sink.h"
#include "app/traffic/main_view.h"

namespace kestrel {

class EMailClass;
class ErrorReporter;
class MessagesClass;
class MessagesList;
class Printer;
class RulesClass;
class TerminalAliases;
class TrafficClass;
struct Rule;

// What a new alert puts into the alert window.
struct AlertContent {
  std::string caption;               // the rule's name
  std::string terminal;              // the terminal, with " (" + alias + ")" when it has one
  std::string received;              // "hh:mm:ss"
  std::string text;                  // the formatted message, shown from its start
  std::string traffic_button;        // "To " + terminal
  std::optional<Colour> background;  // none: the window's own colours
  std::optional<Colour> foreground;
};

// The alert window as rule processing fills it. The window creates itself when needed and keeps
// its own failures (colours, showing, focus) to itself.
class AlertView {
 public:
  virtual ~AlertView() = default;
  // Replaces whatever the window showed, shows it (not modal) and puts the focus in the text.
  virtual void ShowAlert(const AlertContent& content) = 0;
  // For a message that grew: neither shown nor focused again.
  virtual void SetReceived(std::string_view time) = 0;
  virtual void SetMessageText(std::string_view text) = 0;
};

// Sounds of the rule actions.
class SoundOutput {
 public:
  virtual ~SoundOutput() = default;
  // Starts playing a wave file and returns at once; a file that cannot be played stays silent.
  virtual void PlaySound(const std::string& file) = 0;
  virtual void Beep() = 0;
};

// Everything rule processing reaches. `printer` may be null: rule printouts are then dropped.
struct RuleServices {
  const Settings& settings;
  RulesClass& rules;
  const TerminalAliases& aliases;
  TrafficClass& traffic;
  MessagesClass& messages;
  MessagesList& messages_list;
  AlertView& alert;
  EMailClass& email;
  SoundOutput& sound;
  Printer* printer;
  const Clock& clock;
  ErrorReporter& errors;
};

// The time of day of `time` in local time, "hh:mm:ss" (24-hour).
std::string TimeOfDay(Clock::TimePoint time);

// The part of `text` a rule's "with/after the Nth ..." setting selects. `character` is
// "character" (N is a position), "linefeed", "space", any other text searched exactly, or with
// occurrence -1 a word. Empty when the selected place is not in the text. A position before the
// text is reported as "GetSpecifiedText (verb,occurrence,character)" and answers "".
std::string GetSpecifiedText(std::string_view text, std::string_view verb, int occurrence,
                             std::string_view character, ErrorReporter& errors);

// Whether the present hour is one of the "d:h" entries (d 0 = Sunday, h 0-23, local time) of a
// comma-separated list. Entries compare exactly.
bool EMailDisabledNow(std::string_view list, const Clock& clock);

// The block a rule writes to its log file or printer for a message: header line, blank line,
// the body formatted and wrapped to MDTColumns, blank line, separator, blank line; CR LF ends.
std::string RuleLogBlock(const Settings& settings, std::string_view terminal,
                         std::string_view alias, std::string_view message, bool continuation);
// Appends the block to `file`, creating it when missing. False when it could not be written.
// The first failure of a file goes to the program log with the reason, once per file rather
// than once per block; a file that is written again may be reported again when it next fails.
// Safe from any thread.
bool LogToFile(const Settings& settings, const std::string& file, std::string_view terminal,
               std::string_view alias, std::string_view message, bool continuation);
// How many times since the process started a log file's failure was reported.
int ReportedLogFileFailures();

// Applies the rule set to each message and performs the matching rules' actions. Keeps the state
// the actions share between messages: the alert window's message, the time of the last logged
// row and the open print job.
class RuleProcessing : public RuleProcessor {
 public:
  explicit RuleProcessing(const RuleServices& services) : s_(services) {}

  void ProcessRules(const std::string& message, std::optional<int32_t> row) override;
  // ProcessRules, answering the Messages row that shows the message afterwards: the row added
  // last, else the row passed.
  std::optional<int32_t> Process(const std::string& message, std::optional<int32_t> row);

  // Borrowed; null (the default) observes nothing.
  void SetEventSink(EventSink* events) { events_ = events; }

  // The alert window closed: later continuations no longer reach it.
  void AlertClosed() { alert_shown_ = false; }
  bool AlertShown() const { return alert_shown_; }
  const std::string& AlertTerminal() const { return alert_terminal_; }
  const std::string& LastLogTime() const { return last_log_time_; }

  // Monitoring stopped: the rule printouts' job goes out.
  void EndPrinting();
  bool PrinterStarted() const { return printer_started_; }

 private:
  struct Message;

  // Whether the alert window was filled or updated.
  bool Alert(const Rule& rule, const Message& m);
  void RollOverDay(const std::string& now);
  // The row written, or none.
  std::optional<int32_t> LogRow(const Rule& rule, const Message& m, std::optional<int32_t>& row);
  void LimitRows();
  void QueueRuleEMail(const Rule& rule, int index, const Message& m);
  void LogToPrinter(const Message& m);

  RuleServices s_;
  bool alert_shown_ = false;
  std::string alert_terminal_;
  std::string last_log_time_;
  bool printer_started_ = false;
  EventSink* events_ = nullptr;
};

}  // namespace kestrel
