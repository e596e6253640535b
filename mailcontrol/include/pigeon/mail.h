#pragma once

#include <QObject>
#include <QString>
#include <QStringList>

#include "pigeon/pigeon_export.h"

namespace pigeon {

// Sends one e-mail message to an SMTP server. Send runs the whole conversation and returns when
// it is over, dispatching the program's events meanwhile, so timers and user actions go on
// during a send. Properties and recipient lists keep their values between sends. One thread:
// the one that owns the QCoreApplication.
//
// Hostname is "host", "host:port", "[IPv6]" or "[IPv6]:port" (a bare IPv6 address works too).
// A port there wins over Port; without either the port is the default of the security mode
// (25 for none, 587 for STARTTLS, 465 for implicit TLS). All texts are UTF-8; line breaks
// inside a property other than Message are sent as blanks, so no property can add commands or
// headers. Timeout is the wait, in seconds, for the connection, the TLS handshake and each reply
// (30 when not positive); a wait ends between Timeout and Timeout + 1 seconds after it starts,
// at a whole-second boundary of the clock.
//
// The conversation. With Security none and no UserName (the plain mode that old profiles use)
// it is HELO, MAIL FROM, RCPT TO for To, Cc then Bcc, DATA, the message, QUIT; a reply with
// another code than the one awaited counts as no reply, so such a wait lasts the whole Timeout.
// Otherwise (the modern mode) it opens with EHLO (HELO only when EHLO is refused with 5xx), any
// reply ends its wait at once, and:
// - STARTTLS is sent after EHLO when Security asks for it; a server that does not offer it
//   fails the send and nothing more is sent. EHLO is repeated over the encrypted connection.
// - Implicit TLS encrypts from the first byte.
// - Certificates are verified against the system's authorities plus those of CAFile (PEM);
//   the certificate must name the host of Hostname.
// - With a UserName, AUTH PLAIN (preferred) or AUTH LOGIN, whichever the server offers, is sent
//   over the encrypted connection only. A UserName with Security none refuses the send before
//   connecting: credentials never travel in clear text.
//
// The message. Headers: From, Date (local time with its offset), Message-ID (modern mode only),
// To, Cc, Subject, then MIME-Version and Content-Type when ContentType is set or the body needs
// an encoding. Bcc entries appear in no header. A Subject or display name that is not ASCII (or
// a Subject too long for one header line) is sent as RFC 2047 encoded words. A body with a line
// over 998 bytes, or with non-ASCII text (except in the plain mode with a ContentType, which
// keeps the 8-bit UTF-8 body old profiles sent), is sent quoted-printable. A "text/..." type
// without a charset gets "; charset=utf-8" when the message is not plain ASCII. The message is
// sent dot-stuffed with every line ending as CR LF.
//
// Send returns true when the server accepted the message (its reply to the end of the data),
// whatever happens at QUIT afterwards. It returns false at once, without connecting, when the
// host or port is missing or malformed, there are no recipients, no QCoreApplication exists, a
// send on this object is still running, CAFile holds no certificate, or a UserName is set
// without encryption. When the application is quitting (QCoreApplication::quit called), a send
// ends at once as a temporary failure, except that a reply to the end of the data is awaited
// for up to half a second so a delivered mail is not reported as undelivered. A Mail may be
// destroyed during its own send (by an event handler); that send then ends at once, without
// QUIT, and reports nothing.
class PIGEON_EXPORT Mail : public QObject {
  Q_OBJECT

 public:
  // The values are those of the profile's SMTPSecurity key.
  enum class SecurityMode { kNone = 0, kStartTls = 1, kImplicitTls = 2 };

  explicit Mail(QObject* parent = nullptr);
  ~Mail() override;

  // The members in slot order, each with the help text the control publishes.
  static const char* const kDescription;  // "Pigeon SMTP Mail Control"
  static QString HelpText(const QString& member);
  // The port used when neither Hostname nor Port names one.
  static int DefaultPort(SecurityMode security);

  bool Send();
  QString Hostname() const { return hostname_; }
  void SetHostname(const QString& hostname) { hostname_ = hostname; }
  QString FromAddress() const { return from_address_; }
  void SetFromAddress(const QString& address) { from_address_ = address; }
  QString Subject() const { return subject_; }
  void SetSubject(const QString& subject) { subject_ = subject; }
  QString ContentType() const { return content_type_; }
  void SetContentType(const QString& content_type) { content_type_ = content_type; }
  QString Message() const { return message_; }
  void SetMessage(const QString& message) { message_ = message; }
  QString FromName() const { return from_name_; }
  void SetFromName(const QString& name) { from_name_ = name; }
  int Timeout() const { return timeout_; }
  void SetTimeout(int seconds) { timeout_ = seconds; }
  void AddToAddress(const QString& name, const QString& address);
  void ClearToAddresses();
  void AddCcAddress(const QString& name, const QString& address);
  void ClearCcAddresses();
  void AddBccAddress(const QString& name, const QString& address);
  void ClearBccAddresses();

  SecurityMode Security() const { return security_; }
  void SetSecurity(SecurityMode security) { security_ = security; }
  // 0 = the default of the security mode; 1 to 65535 otherwise (Send refuses other values).
  int Port() const { return port_; }
  void SetPort(int port) { port_ = port; }
  QString UserName() const { return user_name_; }
  void SetUserName(const QString& name) { user_name_ = name; }
  QString Password() const { return password_; }
  void SetPassword(const QString& password) { password_ = password; }
  // A PEM file of extra authorities; empty = the system's only.
  QString CAFile() const { return ca_file_; }
  void SetCAFile(const QString& path) { ca_file_ = path; }

  // The outcome of the last Send, kept until the next one.
  // Why it failed: the server's refusing reply line, the socket or TLS error, or the local
  // reason; empty after success.
  QString LastError() const { return last_error_; }
  // The SMTP code of the refusing reply; 0 after success and for a connection, TLS or local
  // failure.
  int LastReplyCode() const { return last_reply_code_; }
  // True when the same mail may succeed later: a 4xx reply, a connection failure or timeout,
  // the application quitting. False after success, for 5xx replies, TLS certificate or
  // capability refusals and local refusals.
  bool IsTemporaryFailure() const { return temporary_failure_; }

 signals:
  // One line of the conversation as it happens: "C: ..." sent, "S: ..." received, and plain
  // lines for connection and TLS events. The password and all AUTH data are shown as "****".
  void TranscriptLine(const QString& line);

 private:
  struct Recipients {
    int count = 0;
    QStringList names;  // capacity grows by 10; entries beyond count are stale
    QStringList addresses;
    void Add(const QString& name, const QString& address);
  };

  // Records a refusal made before connecting; always returns false.
  bool Refuse(const QString& reason, bool temporary = false);

  QString hostname_;
  QString from_address_;
  QString from_name_;
  QString subject_;
  QString content_type_;
  QString message_;
  int timeout_ = 0;
  Recipients to_;
  Recipients cc_;
  Recipients bcc_;
  SecurityMode security_ = SecurityMode::kNone;
  int port_ = 0;
  QString user_name_;
  QString password_;
  QString ca_file_;

  QString last_error_;
  int last_reply_code_ = 0;
  bool temporary_failure_ = false;

  // The send in progress, or null.
  struct Session;
  Session* session_ = nullptr;

  // Seen by tests during a send.
  friend class MailTestPeer;
  int EffectiveTimeout() const;
  qsizetype PendingReplyBytes() const;
};

}  // namespace pigeon
