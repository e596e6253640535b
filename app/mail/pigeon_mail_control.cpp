#include "app/mail/pigeon_mail_control.h"

#include <QStringDecoder>

namespace kestrel {

QString TextFromBytes(const std::string& bytes) {
  QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
  QString text = utf8.decode(QByteArrayView(bytes.data(), qsizetype(bytes.size())));
  if (!utf8.hasError()) return text;
  return QString::fromLatin1(bytes.data(), qsizetype(bytes.size()));
}

PigeonMailControl::~PigeonMailControl() { QObject::disconnect(transcript_); }

void PigeonMailControl::SetConnection(const MailConnection& connection) {
  mail_.SetSecurity(pigeon::Mail::SecurityMode(connection.security));
  mail_.SetPort(connection.port);
  mail_.SetUserName(QString::fromStdString(connection.user_name));
  mail_.SetPassword(QString::fromStdString(connection.password));
  mail_.SetCAFile(QString::fromStdString(connection.ca_file));
}

void PigeonMailControl::SetTranscript(std::function<void(const std::string&)> line) {
  QObject::disconnect(transcript_);
  if (!line) return;
  transcript_ =
      QObject::connect(&mail_, &pigeon::Mail::TranscriptLine,
                       [line = std::move(line)](const QString& text) { line(text.toStdString()); });
}

namespace {

struct MailHolder {
  pigeon::Mail mail;
};

// The holder is a base ahead of the control, so the Mail is made before the control that refers
// to it and outlives it.
class OwnPigeonMailControl : private MailHolder, public PigeonMailControl {
 public:
  OwnPigeonMailControl() : PigeonMailControl(mail) {}
};

}  // namespace

std::unique_ptr<MailControl> NewPigeonMailControl() {
  return std::make_unique<OwnPigeonMailControl>();
}

MailConnection LoadMailConnection(const Settings& settings, const SecretStore& secrets,
                                  std::string& error) {
  error.clear();
  if (settings.SMTPUserName.empty()) return MailConnectionFromSettings(settings, "");
  const SecretResult secret = secrets.Load(kSmtpSecretAccount, settings.SMTPPasswordFile);
  if (!secret.ok) error = secret.error;
  return MailConnectionFromSettings(settings, secret.secret);
}

void PigeonMailControl::AddToAddress(const std::string& address, const std::string& name) {
  // The control takes the display name first.
  mail_.AddToAddress(TextFromBytes(name), TextFromBytes(address));
}

void PigeonMailControl::SetFromName(const std::string& name) {
  mail_.SetFromName(TextFromBytes(name));
}

void PigeonMailControl::SetFromAddress(const std::string& address) {
  mail_.SetFromAddress(TextFromBytes(address));
}

void PigeonMailControl::SetSubject(const std::string& subject) {
  mail_.SetSubject(TextFromBytes(subject));
}

void PigeonMailControl::SetHostname(const std::string& hostname) {
  mail_.SetHostname(TextFromBytes(hostname));
}

void PigeonMailControl::SetContentType(const std::string& content_type) {
  mail_.SetContentType(TextFromBytes(content_type));
}

void PigeonMailControl::SetMessage(const std::string& message) {
  mail_.SetMessage(TextFromBytes(message));
}

}  // namespace kestrel
