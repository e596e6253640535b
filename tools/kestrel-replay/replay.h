#pragma once

#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "app/display/capture.h"
#include "app/display/mdt_display.h"
#include "app/display/messages_list.h"
#include "app/display/raw_data.h"
#include "app/mail/email_class.h"
#include "app/mail/mail_control.h"
#include "app/platform/clock.h"
#include "app/platform/message_box.h"
#include "app/platform/text_window.h"
#include "app/profile/profile.h"
#include "app/profile/report_error.h"
#include "app/profile/settings.h"
#include "app/rules/rule_processing.h"
#include "app/rules/rules_class.h"
#include "app/traffic/messages_class.h"
#include "app/traffic/process_sieve.h"
#include "app/traffic/terminal_aliases.h"
#include "app/traffic/traffic_class.h"
#include "arguments.h"
#include "headless_view.h"

namespace kestrel_replay {

// The clock of a replay: the real one, or a fixed time; either can be moved on.
class ReplayClock : public kestrel::Clock {
 public:
  explicit ReplayClock(std::optional<TimePoint> fixed) : fixed_(fixed) {}
  TimePoint Now() const override {
    return (fixed_ ? *fixed_ : std::chrono::system_clock::now()) + offset_;
  }
  void Advance(std::chrono::seconds by) { offset_ += by; }

 private:
  std::optional<TimePoint> fixed_;
  std::chrono::system_clock::duration offset_{};
};

// Failures and questions go to the standard error; questions are answered Yes (so a repeated
// error report suppresses the ones after it).
class StderrMessageBoxes : public kestrel::MessageBoxes {
 public:
  Answer Show(std::string_view text, std::string_view title, Icon, Buttons buttons) override;
};

// The program's processing and rules, without windows, fed record by record.
class Replay {
 public:
  Replay(const Arguments& arguments, kestrel::Printer* printer);

  // Loads the profile, if one was given; false when it cannot be loaded. `report` receives why
  // and the warnings about ignored values.
  bool LoadProfile(kestrel::ProfileLoadReport& report);
  const kestrel::Settings& settings() const { return settings_; }
  // Adds the default rules when the rule set is empty, as the program does at start-up.
  void PrepareRules();
  void Feed(const std::string& record) { processor_.ProcessSieve(record); }
  // Moves every spooled mail to the send queue, as if enough time had passed, and sends the queue
  // through `control` when the profile names an SMTP server, each mail once (no retries), with
  // the profile's security and login and the password from the secret store. Every mail is kept
  // for the report; each one not sent also gives a line for MailFailures.
  void FlushMail(kestrel::MailControl& control);
  // "mail to <addresses> ("<subject>") not sent: <the server's reply or the socket error>".
  const std::vector<std::string>& MailFailures() const { return mail_failures_; }
  // Ends the print job of rule printouts.
  void EndPrinting() { rule_processing_.EndPrinting(); }
  // [Messages], [Terminals], [MDT] and [Mail], as the program would show them.
  void Report(std::ostream& out);

 private:
  struct SilentAlert : kestrel::AlertView {
    void ShowAlert(const kestrel::AlertContent&) override {}
    void SetReceived(std::string_view) override {}
    void SetMessageText(std::string_view) override {}
  };
  struct SilentSound : kestrel::SoundOutput {
    void PlaySound(const std::string&) override {}
    void Beep() override {}
  };

  const Arguments& arguments_;
  ReplayClock clock_;
  StderrMessageBoxes boxes_;
  kestrel::Settings settings_;
  kestrel::ErrorReporter errors_{settings_, boxes_};
  kestrel::TerminalAliases aliases_;
  kestrel::RulesClass rules_{errors_};
  kestrel::TrafficClass traffic_{settings_, aliases_};
  kestrel::MessagesClass messages_;
  kestrel::MessagesList messages_list_;
  HeadlessView view_{[this](int32_t tag) { return messages_list_.Find(tag) >= 0; }};
  kestrel::EMailClass email_{clock_};
  SilentAlert alert_;
  SilentSound sound_;
  kestrel::RuleProcessing rule_processing_;
  kestrel::CaptureWriter capture_{settings_, clock_, boxes_};
  kestrel::RawData raw_data_;
  kestrel::PlainTextWindow mdt_window_;
  kestrel::MdtDisplay mdt_{settings_, view_, traffic_, mdt_window_};
  kestrel::TrafficProcessor processor_;
  std::vector<kestrel::EMailClass::QueuedMail> mails_;
  std::vector<std::string> mail_failures_;
};

}  // namespace kestrel_replay
