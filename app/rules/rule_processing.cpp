#include "app/rules/rule_processing.h"

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <exception>
#include <mutex>
#include <set>

#include "app/display/capture.h"
#include "app/display/mdt_text.h"
#include "app/display/messages_list.h"
#include "app/mail/email_class.h"
#include "app/platform/program_log.h"
#include "app/profile/report_error.h"
#include "app/rules/rules_class.h"
#include "app/traffic/messages_class.h"
#include "app/traffic/record.h"
#include "app/traffic/terminal_aliases.h"
#include "app/traffic/traffic_class.h"

namespace kestrel {
namespace {

constexpr std::string_view kLineEnd = "\r\n";

bool SoundCardIsNotTheSource(const Settings& settings) {
  return settings.SieveSource == kSieveSourceNetwork || settings.SieveSource == kSieveSourceCOMPort;
}

}  // namespace

// What every action of one call needs to know about the message.
struct RuleProcessing::Message {
  const std::string& text;
  bool continuation;
  std::string terminal;
  std::string alias;
  std::string_view match_text;
  std::string_view body;
  std::string now;  // "hh:mm:ss"
};

std::string TimeOfDay(Clock::TimePoint time) {
  const std::tm local = LocalTime(time);
  char text[16];
  std::snprintf(text, sizeof text, "%02d:%02d:%02d", local.tm_hour, local.tm_min, local.tm_sec);
  return text;
}

std::string GetSpecifiedText(std::string_view text, std::string_view verb, int occurrence,
                             std::string_view character, ErrorReporter& errors) {
  if (character.empty()) return std::string(text);
  const int given = occurrence;
  if (occurrence == 0) occurrence = 1;

  std::string_view remaining = text;
  std::string_view target = character;
  int64_t position;  // 1-based, in `remaining`
  int searched;      // the occurrence the search ran with; 0 when counting characters
  // In word mode "character" is a word like any other, not the position choice.
  if (character == "character" && occurrence != -1) {
    position = occurrence;
    searched = 0;
  } else {
    if (occurrence != -1) {
      if (character == "linefeed") target = "\r";
      if (character == "space") target = " ";
    }
    searched = occurrence;
    size_t hit = remaining.find(target);
    if (hit == std::string_view::npos) return std::string();
    for (int left = occurrence - 1; left > 0; --left) {
      hit = remaining.find(target, hit + 1);
      if (hit == std::string_view::npos) return std::string();
    }
    remaining.remove_prefix(hit);
    position = 1;
  }
  if (verb == "after") position += searched == -1 ? static_cast<int64_t>(target.size()) : 1;

  if (position < 1) {
    std::string procedure = "GetSpecifiedText (";
    procedure.append(verb).append(",").append(std::to_string(given)).append(",");
    procedure.append(character).append(")");
    errors.ReportError(procedure, 0, "The selected position lies before the start of the text");
    return std::string();
  }
  if (position > static_cast<int64_t>(remaining.size())) return std::string();
  return std::string(remaining.substr(size_t(position - 1)));
}

bool EMailDisabledNow(std::string_view list, const Clock& clock) {
  if (list.empty()) return false;
  const std::tm local = LocalTime(clock.Now());
  const std::string key = std::to_string(local.tm_wday) + ":" + std::to_string(local.tm_hour);
  while (true) {
    const size_t comma = list.find(',');
    if (list.substr(0, comma) == key) return true;
    if (comma == std::string_view::npos) return false;
    list.remove_prefix(comma + 1);
  }
}

std::string RuleLogBlock(const Settings& settings, std::string_view terminal,
                         std::string_view alias, std::string_view message, bool continuation) {
  std::string block = "Terminal: ";
  block += terminal;
  if (!alias.empty()) {
    block += " (";
    block += alias;
    block += ")";
  }
  if (continuation) block += ", with additional";
  block += kLineEnd;
  block += kLineEnd;
  block += WrapLines(FormatData(RecordBody(message)), settings.MDTColumns);
  block += kLineEnd;
  block += kLineEnd;
  block += SeparatorLine(settings);
  block += kLineEnd;
  block += kLineEnd;
  return block;
}

namespace {

// The log files whose last write failed, so that each failure is reported once, not per block.
struct FailingLogFileSet {
  std::mutex mutex;
  std::set<std::string> files;
  int reported = 0;
};

FailingLogFileSet& FailingLogFiles() {
  static FailingLogFileSet set;
  return set;
}

void NoteLogFileOutcome(const std::string& file, bool written, int error) {
  FailingLogFileSet& failing = FailingLogFiles();
  std::unique_lock lock(failing.mutex);
  if (written) {
    failing.files.erase(file);
    return;
  }
  if (!failing.files.insert(file).second) return;
  ++failing.reported;
  lock.unlock();
  LogProgramEvent("Cannot write the rule log file " + file + ": " + std::strerror(error) +
                  "; its blocks are lost until it can be written");
}

}  // namespace

bool LogToFile(const Settings& settings, const std::string& file, std::string_view terminal,
               std::string_view alias, std::string_view message, bool continuation) {
  const std::string block = RuleLogBlock(settings, terminal, alias, message, continuation);
  // Opened per block, so other programs can read or move the file between messages.
  std::FILE* out = std::fopen(file.c_str(), "ab");
  bool written = out != nullptr;
  int error = errno;
  if (written) {
    written = std::fwrite(block.data(), 1, block.size(), out) == block.size();
    error = errno;
    if (std::fclose(out) != 0 && written) {
      written = false;
      error = errno;
    }
  }
  NoteLogFileOutcome(file, written, error);
  return written;
}

int ReportedLogFileFailures() {
  std::lock_guard lock(FailingLogFiles().mutex);
  return FailingLogFiles().reported;
}

void RuleProcessing::ProcessRules(const std::string& message, std::optional<int32_t> row) {
  Process(message, row);
}

std::optional<int32_t> RuleProcessing::Process(const std::string& message,
                                               std::optional<int32_t> row) {
  try {
    Message m{message,
              row.has_value(),
              GetTerminalAddress(message, s_.settings),
              std::string(),
              From(message, kContinuationBodyPosition),
              RecordBody(message),
              TimeOfDay(s_.clock.Now())};
    m.alias = s_.aliases.Alias(m.terminal);

    s_.rules.InitMatch();
    while (s_.rules.Match(m.terminal, m.alias, m.match_text)) {
      const Rule* current = s_.rules.Current();
      if (current == nullptr) break;
      // A copy: a report shown on the way may let the user change the rule set under us.
      const Rule rule = *current;
      const int index = s_.rules.Index();

      uint32_t actions = 0;
      if (rule.Alert && Alert(rule, m)) actions |= kRuleAlert;
      RollOverDay(m.now);
      std::optional<int32_t> written;
      if (rule.LogMessages && (written = LogRow(rule, m, row))) actions |= kRuleMessagesRow;
      if (rule.EMailMessages && !s_.settings.SMTPMailServer.empty() &&
          !EMailDisabledNow(rule.EMailMessageDisabledHours, s_.clock)) {
        QueueRuleEMail(rule, index, m);
        actions |= kRuleEMail;
      }
      if (rule.LogFile) {
        LogToFile(s_.settings, rule.LogFilename, m.terminal, m.alias, m.text, m.continuation);
        actions |= kRuleLogFile;
      }
      if (rule.LogPrinter) {
        LogToPrinter(m);
        actions |= kRulePrinter;
      }
      if (rule.PlaySound && SoundCardIsNotTheSource(s_.settings) && !m.continuation) {
        s_.sound.PlaySound(rule.SoundFilename);
        actions |= kRuleSound;
      }
      if (rule.BeepOnMatch) {
        s_.sound.Beep();
        actions |= kRuleBeep;
      }
      if (events_ != nullptr) {
        events_->OnRuleMatch({rule.Name, m.terminal, m.continuation, actions,
                              written ? s_.messages_list.Row(*written) : nullptr});
      }
    }
  } catch (const std::exception& failure) {
    s_.errors.ReportError("ProcessRules", 0, failure.what());
  } catch (...) {
    s_.errors.ReportError("ProcessRules", 0, "Unknown failure");
  }
  return row;
}

bool RuleProcessing::Alert(const Rule& rule, const Message& m) {
  if (!m.continuation) {
    AlertContent content;
    content.caption = rule.Name;
    content.terminal = m.terminal + (m.alias.empty() ? "" : " (" + m.alias + ")");
    content.received = m.now;
    content.text = FormatData(m.body);
    content.traffic_button = "To " + m.terminal;
    if (rule.AlertBackgroundColor >= 0) content.background = rule.AlertBackgroundColor;
    if (rule.AlertForegroundColor >= 0) content.foreground = rule.AlertForegroundColor;
    s_.alert.ShowAlert(content);
    s_.sound.Beep();
    alert_shown_ = true;
    alert_terminal_ = m.terminal;
    return true;
  }
  if (!alert_shown_ || alert_terminal_ != m.terminal) return false;
  s_.alert.SetReceived(m.now);
  // The message is the whole text so far, so it replaces what the window shows; appending it
  // would repeat the part shown already.
  s_.alert.SetMessageText(FormatData(m.body));
  return true;
}

void RuleProcessing::RollOverDay(const std::string& now) {
  // A later time of day than now means the day changed since the last row was written.
  if (!last_log_time_.empty() && last_log_time_ > now) s_.messages_list.AppendBlankToReceived();
}

std::optional<int32_t> RuleProcessing::LogRow(const Rule& rule, const Message& m,
                                              std::optional<int32_t>& row) {
  MessagesList& list = s_.messages_list;
  int32_t tag;
  if (!m.continuation) {
    tag = s_.messages.Add(m.text);
    list.Append(rule.LogMessageType, tag);
    row = tag;
  } else {
    tag = *row;
    // The row may have been deleted since the caller looked: nothing to rewrite then.
    if (!list.SetType(tag, rule.LogMessageType)) return std::nullopt;
  }

  switch (rule.LogMessageTo) {
    case 1:
      list.SetTo(tag, m.terminal);
      break;
    case 3:
      list.SetTo(tag, m.alias.empty() ? m.terminal : m.terminal + " (" + m.alias + ")");
      break;
    default:
      list.SetTo(tag, m.alias.empty() ? m.terminal : m.alias);
      break;
  }
  list.SetDetails(tag, MessagesFormat(GetSpecifiedText(m.match_text, rule.LogMessageVerb,
                                                       rule.LogMessageOccurence,
                                                       rule.LogMessageCharacter, s_.errors)));
  list.SetReceived(tag, m.now);
  if (rule.LogMessageColor >= 0) list.SetColour(tag, rule.LogMessageColor);
  last_log_time_ = m.now;

  if (m.continuation) return tag;
  s_.traffic.SetMessagesTag(m.terminal, tag);
  LimitRows();
  return tag;
}

void RuleProcessing::LimitRows() {
  MessagesList& list = s_.messages_list;
  const int most = s_.settings.MaxMessagesToSave;
  if (most <= 0 || list.Count() <= most) return;
  // The oldest row goes, whatever order the user sorted the list into; a row at a fixed
  // position would be the one just added while the list is in arrival order.
  const int32_t oldest = list.OldestArrived();
  s_.traffic.RemoveListItem(GetTerminalAddress(s_.messages.Retrieve(oldest), s_.settings), oldest);
  s_.messages.Remove(oldest);
  list.Remove(oldest);
}

void RuleProcessing::QueueRuleEMail(const Rule& rule, int index, const Message& m) {
  const int split = rule.EMailMessageSplit ? rule.EMailMessageSplitChars : 0;
  const int limit = rule.EMailMessageLimit ? rule.EMailMessageLimitChars : 0;
  const std::string text = WrapLines(
      FormatData(GetSpecifiedText(m.body, rule.EMailMessageVerb, rule.EMailMessageOccurence,
                                  rule.EMailMessageCharacter, s_.errors)),
      s_.settings.MDTColumns);
  if (!m.continuation) {
    s_.email.Add(rule.EMailMessageFromName, rule.EMailMessageFromAddress,
                 rule.EMailMessageToAddress, rule.EMailMessageSubject, m.terminal, m.alias, text,
                 false, index, rule.EMailMessageCollapseSpaces, rule.EMailMessageHTMLFormatting,
                 split, limit);
  } else {
    s_.email.Update(rule.EMailMessageFromName, rule.EMailMessageFromAddress,
                    rule.EMailMessageToAddress, rule.EMailMessageSubject, m.terminal, m.alias, text,
                    true, index, rule.EMailMessageCollapseSpaces, rule.EMailMessageHTMLFormatting,
                    split, limit);
  }
}

void RuleProcessing::LogToPrinter(const Message& m) {
  if (s_.printer == nullptr) return;
  // Printer failures are not reported: the printout is a convenience, the row and log are not.
  if (!printer_started_) {
    printer_started_ = true;
    s_.printer->PrintLine("");
  }
  std::string block = RuleLogBlock(s_.settings, m.terminal, m.alias, m.text, m.continuation);
  // PrintLine ends the line itself.
  block.resize(block.size() - kLineEnd.size());
  s_.printer->PrintLine(block);
}

void RuleProcessing::EndPrinting() {
  if (printer_started_ && s_.printer != nullptr) s_.printer->EndJob();
  printer_started_ = false;
}

}  // namespace kestrel
