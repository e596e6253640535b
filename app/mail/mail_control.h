#pragma once

#include <functional>
#include <string>
#include <string_view>

namespace kestrel {

// Values of SMTPSecurity.
inline constexpr int kSmtpSecurityNone = 0;
inline constexpr int kSmtpSecurityStartTls = 1;
inline constexpr int kSmtpSecurityImplicitTls = 2;

// How the control reaches the server beyond its host name. The defaults send as a control
// without these always has: plain text to port 25 (or the port in the host name), no login.
struct MailConnection {
  int security = kSmtpSecurityNone;  // kSmtpSecurity...
  int port = 0;                      // 0: the security mode's default (25, 587, 465)
  std::string user_name;             // "" for no login
  std::string password;              // never logged or shown
  std::string ca_file;               // extra certificate authorities (PEM); "" for none
  bool operator==(const MailConnection&) const = default;
};

// The SMTP mail control as the e-mail queue drives it: properties, a recipient list, Send.
// The program's implementation is the Pigeon control; tests record what they are given.
class MailControl {
 public:
  virtual ~MailControl() = default;
  virtual void ClearToAddresses() = 0;
  virtual void AddToAddress(const std::string& address, const std::string& name) = 0;
  virtual void SetFromName(const std::string& name) = 0;
  virtual void SetFromAddress(const std::string& address) = 0;
  virtual void SetSubject(const std::string& subject) = 0;
  virtual void SetHostname(const std::string& hostname) = 0;
  virtual void SetContentType(const std::string& content_type) = 0;
  virtual void SetMessage(const std::string& message) = 0;
  // Runs the SMTP conversation; true when the server accepted the mail. The program's events
  // keep running while it waits.
  virtual bool Send() = 0;

  // The members below have defaults so that a control without security or failure details
  // still serves: its refusals count as permanent.
  virtual void SetConnection(const MailConnection& /*connection*/) {}
  // After a Send that returned false: the server's reply or the socket error, one line.
  virtual std::string LastError() const { return {}; }
  // The server's reply code of that failure; 0 for connection, TLS and local failures.
  virtual int LastReplyCode() const { return 0; }
  // A 4xx reply or a connection failure: the same mail may go through later.
  virtual bool IsTemporaryFailure() const { return false; }
  // Receives each line of the SMTP conversation (passwords and login data masked) from the
  // next Send on; an empty function stops it.
  virtual void SetTranscript(std::function<void(const std::string&)> /*line*/) {}
};

}  // namespace kestrel
