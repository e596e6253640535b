#include "replay.h"

#include <cstdio>

#include "app/profile/profile.h"

namespace kestrel_replay {

kestrel::MessageBoxes::Answer StderrMessageBoxes::Show(std::string_view text,
                                                       std::string_view title, Icon,
                                                       Buttons buttons) {
  std::fprintf(stderr, "kestrel-replay: %.*s: %.*s\n", int(title.size()), title.data(),
               int(text.size()), text.data());
  switch (buttons) {
    case Buttons::kOk:
    case Buttons::kOkCancel:
      return Answer::kOk;
    case Buttons::kYesNo:
    case Buttons::kYesNoCancel:
      return Answer::kYes;
  }
  return Answer::kOk;
}

Replay::Replay(const Arguments& arguments, kestrel::Printer* printer)
    : arguments_(arguments),
      clock_(arguments.now),
      rule_processing_({settings_, rules_, aliases_, traffic_, messages_, messages_list_, alert_,
                        email_, sound_, printer, clock_, errors_}),
      processor_({settings_, view_, traffic_, messages_, aliases_, rule_processing_, capture_,
                  raw_data_, mdt_, errors_}) {}

bool Replay::LoadProfile(std::string& error) {
  if (arguments_.profile.empty()) return true;
  if (kestrel::LoadProfile(arguments_.profile, {settings_, aliases_, rules_})) return true;
  error = "Unable to load profile " + arguments_.profile;
  return false;
}

void Replay::PrepareRules() {
  if (rules_.Count() == 0) rules_.AddDefaultRules();
}

void Replay::FlushMail(kestrel::MailControl& control) {
  // A mail leaves the spool six whole seconds after its last update.
  clock_.Advance(std::chrono::seconds(10));
  if (email_.Spooled()) email_.QueueEMails();
  kestrel::EMailClass::QueuedMail mail;
  while (email_.GetQueuedMessage(mail.FromName, mail.FromAddress, mail.ToAddresses, mail.Subject,
                                 mail.Body, mail.HTMLFormatting)) {
    if (!settings_.SMTPMailServer.empty()) {
      kestrel::EMailClass::SendMail(control, mail, settings_.SMTPMailServer,
                                    settings_.MDTForeground, settings_.MDTBackground);
    }
    mails_.push_back(mail);
  }
}

void Replay::Report(std::ostream& out) {
  out << "[Messages]\n";
  for (const kestrel::MessagesRow& row : messages_list_.Rows()) {
    out << row.type << '\t' << row.to << '\t' << row.details << '\t' << row.tag << '\n';
  }
  out << "[Terminals]\n";
  for (const auto& [address, alias] : view_.terminal_rows())
    out << address << '\t' << alias << '\n';
  out << "[MDT]\n";
  const std::string text = mdt_window_.Text();
  std::string mdt;
  for (size_t i = 0; i < text.size(); ++i) {
    if (!(text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n')) mdt += text[i];
  }
  out << mdt;
  if (!mdt.empty() && mdt.back() != '\n') out << '\n';
  out << "[Mail]\n";
  for (const kestrel::EMailClass::QueuedMail& mail : mails_) {
    out << mail.ToAddresses << '\t' << mail.Subject << '\t' << mail.Body.size() << '\n';
  }
}

}  // namespace kestrel_replay
