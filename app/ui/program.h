#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "app/acquisition/acquisition.h"
#include "app/acquisition/monitoring.h"
#include "app/display/capture.h"
#include "app/display/mdt_display.h"
#include "app/display/messages_list.h"
#include "app/display/raw_data.h"
#include "app/mail/email_class.h"
#include "app/mail/mail_control.h"
#include "app/outputs/station.h"
#include "app/platform/clock.h"
#include "app/platform/message_box.h"
#include "app/profile/profile.h"
#include "app/profile/report_error.h"
#include "app/profile/settings.h"
#include "app/rules/rule_processing.h"
#include "app/rules/rules_class.h"
#include "app/traffic/messages_class.h"
#include "app/traffic/process_sieve.h"
#include "app/traffic/terminal_aliases.h"
#include "app/traffic/traffic_class.h"

namespace kestrel {

// The parts of the program that the windows and the platform provide.
struct ProgramParts {
  MainView& main;
  MonitoringView& monitoring;
  AlertView& alert;
  SoundOutput& sound;
  TextWindow& mdt;
  MessageBoxes& boxes;
  const Clock& clock;
  AudioInput& audio;
  FeedNetwork& network;
  SerialSources& serial;
  MailControl& mail;
  Printer* rule_printer;  // null: rule printouts are dropped
};

// A stored message as the details window or the MDT display shows it.
struct MessageDetailsText {
  std::string type;      // the Type of the rule that matches the message now
  std::string received;  // the row's Received column
  std::string address;
  std::string terminal;        // the address, with " (" + alias + ")" when it has one
  std::string traffic_button;  // "To " + address
  std::string body;            // formatted and wrapped to MDTColumns
  // The MDT display's text for the message: a "Terminal: " header, a blank line, the body.
  std::string mdt_text;
};

// Where a released splitter bar may rest, in twips: the vertical bar's left edge at least 135
// and at most the inner width less 600; the horizontal bar's top at least 30 and at most the
// inner height less 750. The upper limit wins when the window is too small for both.
double ClampVerticalSplitter(double left, double inner_width);
double ClampHorizontalSplitter(double top, double inner_height);

// What the exit sequence saves.
enum class ExitSave { kNothing, kWithSettings, kWithoutSettings, kCancelled };

// Every program-wide store and the processing between them, owned in one place, free of
// windows. Members are public: this is the program's wiring, not an abstraction.
class Program {
 public:
  explicit Program(const ProgramParts& parts);
  Program(const Program&) = delete;
  Program& operator=(const Program&) = delete;

  ProfileStores Stores() { return {settings, aliases, rules}; }

  // The message of a Messages row, or none when its message is no longer stored.
  std::optional<MessageDetailsText> MessageDetails(int32_t tag);
  // Removes a Messages row with its stored message and its terminal's link to it.
  void DeleteMessage(int32_t tag);
  // Removes the traffic of every Terminals row ("<all>" included).
  void ClearTraffic(const std::vector<std::string>& names);

  // The Reverse Polarity command: toggles the polarity of the running source's kind and hands
  // the new symbols to the decoder at once. The settings count as changed in every case.
  void ReversePolarity();
  // The status timer's tick: panel 1's refresh, then the e-mail queue.
  void StatusTick();

  // The exit sequence's choice: with AutoSave the profile is saved with settings; otherwise,
  // when settings changed and `ask`, the user chooses (Cancel abandons the exit); without a
  // question (or with No) a save without settings keeps the changed aliases. Nothing when no
  // profile is in use.
  ExitSave ExitSaveChoice(bool ask);
  // Saves the profile as chosen; false when it could not be written, with `failure` (when given)
  // naming the file and the reason.
  bool SaveForExit(ExitSave choice, const SaveOptions& options, std::string* failure = nullptr);

  Settings settings;
  ErrorReporter errors;
  TerminalAliases aliases;
  RulesClass rules;
  TrafficClass traffic;
  MessagesClass messages;
  MessagesList messages_list;
  EMailClass email;
  RuleProcessing rule_processing;
  CaptureWriter capture;
  RawData raw_data;
  MdtDisplay mdt;
  TrafficProcessor processor;
  Acquisition acquisition;
  Monitoring monitoring;
  // Sees every record, message and rule match; without outputs it only counts.
  Station station;

 private:
  ProgramParts parts_;
};

}  // namespace kestrel
