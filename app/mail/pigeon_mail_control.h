#pragma once

#include <QMetaObject>
#include <functional>
#include <string>

#include "app/mail/mail_control.h"
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

}  // namespace kestrel
