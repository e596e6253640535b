#include "replay.h"

#include <algorithm>
#include <cstdio>

#include "app/platform/secret_store.h"
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

bool Replay::LoadProfile(kestrel::ProfileLoadReport& report) {
  if (arguments_.profile.empty()) return true;
  return kestrel::LoadProfile(arguments_.profile, {settings_, aliases_, rules_}, nullptr, &report);
}

void Replay::PrepareRules() {
  if (rules_.Count() == 0) rules_.AddDefaultRules();
}

void Replay::FlushMail(kestrel::MailControl& control) {
  // A mail leaves the spool six whole seconds after its last update.
  clock_.Advance(std::chrono::seconds(10));
  if (email_.Spooled()) email_.QueueEMails();
  const bool sending = !settings_.SMTPMailServer.empty();
  kestrel::MailConnection connection = kestrel::MailConnectionFromSettings(settings_, "");
  std::string password_error;
  if (sending && email_.Queued() && !settings_.SMTPUserName.empty()) {
    const kestrel::SecretResult secret =
        kestrel::LoadSecret(kestrel::kSmtpSecretAccount, settings_.SMTPPasswordFile);
    connection.password = secret.secret;
    if (!secret.ok) password_error = "no password: " + secret.error;
  }
  kestrel::EMailClass::QueuedMail mail;
  while (email_.GetQueuedMessage(mail.FromName, mail.FromAddress, mail.ToAddresses, mail.Subject,
                                 mail.Body, mail.HTMLFormatting)) {
    if (sending) {
      std::string error = password_error;
      if (error.empty() &&
          !kestrel::EMailClass::SendMail(control, mail, settings_.SMTPMailServer, connection,
                                         settings_.MDTForeground, settings_.MDTBackground)) {
        error = control.LastError();
        if (error.empty()) error = "the server did not accept it";
      }
      if (!error.empty()) {
        mail_failures_.push_back("mail to " + mail.ToAddresses + " (\"" + mail.Subject +
                                 "\") not sent: " + error);
      }
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
    // Characters, as the radio sent them, though the body is UTF-8 now.
    const auto characters = std::count_if(mail.Body.begin(), mail.Body.end(), [](char c) {
      return (static_cast<unsigned char>(c) & 0xC0) != 0x80;
    });
    out << mail.ToAddresses << '\t' << mail.Subject << '\t' << characters << '\n';
  }
}

}  // namespace kestrel_replay
