#pragma once

#include <QMetaObject>
#include <functional>
#include <memory>
#include <string>

#include "app/mail/email_class.h"
#include "app/mail/mail_control.h"
#include "app/platform/secret_store.h"
#include "app/profile/settings.h"
#include "pigeon/mail.h"

namespace kestrel {

// The e-mail queue's control is a Pigeon Mail. Texts cross as UTF-8 when they are valid UTF-8
// (aliases, rule texts) and as Latin-1 otherwise (radio bytes), so no byte is ever lost.
// `mail` must outlive the control.
class PigeonMailControl : public MailControl {
 public:
  explicit PigeonMailControl(pigeon::Mail& mail) : mail_(mail) {}
  ~PigeonMailControl() override;
  PigeonMailControl(const PigeonMailControl&) = delete;
  PigeonMailControl& operator=(const PigeonMailControl&) = delete;

  void ClearToAddresses() override { mail_.ClearToAddresses(); }
  void AddToAddress(const std::string& address, const std::string& name) override;
  void SetFromName(const std::string& name) override;
  void SetFromAddress(const std::string& address) override;
  void SetSubject(const std::string& subject) override;
  void SetHostname(const std::string& hostname) override;
  void SetContentType(const std::string& content_type) override;
  void SetMessage(const std::string& message) override;
  bool Send() override { return mail_.Send(); }
  void SetConnection(const MailConnection& connection) override;
  std::string LastError() const override { return mail_.LastError().toStdString(); }
  int LastReplyCode() const override { return mail_.LastReplyCode(); }
  bool IsTemporaryFailure() const override { return mail_.IsTemporaryFailure(); }
  void SetTranscript(std::function<void(const std::string&)> line) override;

 private:
  pigeon::Mail& mail_;
  QMetaObject::Connection transcript_;
};

// Bytes as text: UTF-8 when they are valid UTF-8, Latin-1 otherwise.
QString TextFromBytes(const std::string& bytes);

// A control with a Pigeon Mail of its own, for one conversation such as the test e-mail.
std::unique_ptr<MailControl> NewPigeonMailControl();

// The connection the settings describe, with the password from `secrets` (SMTPPasswordFile
// first) when there is a user name. A password that cannot be had is left empty, and `error`
// says why ("" otherwise). The keyring may be asked, a bounded wait on the window thread.
MailConnection LoadMailConnection(const Settings& settings, const SecretStore& secrets,
                                  std::string& error);

}  // namespace kestrel
