#pragma once

#include <QObject>
#include <QString>
#include <QStringList>
#include <cstdint>

#include "pigeon/pigeon_export.h"

namespace pigeon {

// Sends one e-mail message to an SMTP server. Send runs the whole conversation and returns when
// it is over, dispatching the program's events meanwhile, so timers and user actions go on
// during a send. Properties and recipient lists keep their values between sends.
//
// Hostname is "host", "host:port", "[IPv6]" or "[IPv6]:port" (a bare IPv6 address works too);
// the port is 25 when absent. All texts go to the server as UTF-8; line breaks inside a
// property other than Message are sent as blanks, so no property can add commands or headers.
// The headers are From, Date (local time with its offset), To, Cc, Subject, then MIME-Version
// and Content-Type only when ContentType is set; a "text/..." type without a charset gets
// "; charset=utf-8" when the message is not plain ASCII. Bcc entries appear in no header.
// The message is sent dot-stuffed with every line ending as CR LF. Timeout is the wait, in
// seconds, for the connection and for each reply (30 when not positive); a wait ends between
// Timeout and Timeout + 1 seconds after it starts, at a whole-second boundary of the clock.
//
// Send returns true when the server accepted the message (its reply to the end of the data),
// whatever happens at QUIT afterwards. It returns false at once, without connecting, when the
// host is missing or malformed, there are no recipients, no QCoreApplication exists, or a send
// on this object is still running. A Mail may be destroyed during its own send (by an event
// handler); that send then ends at once, without QUIT.
class PIGEON_EXPORT Mail : public QObject {
  Q_OBJECT

 public:
  explicit Mail(QObject* parent = nullptr);
  ~Mail() override;

  // The members in slot order, each with the help text the control publishes.
  static const char* const kDescription;  // "Pigeon SMTP Mail Control"
  static QString HelpText(const QString& member);

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
  int16_t Timeout() const { return timeout_; }
  void SetTimeout(int value) { timeout_ = int16_t(value); }
  void AddToAddress(const QString& name, const QString& address);
  void ClearToAddresses();
  void AddCcAddress(const QString& name, const QString& address);
  void ClearCcAddresses();
  void AddBccAddress(const QString& name, const QString& address);
  void ClearBccAddresses();

 private:
  struct Recipients {
    int count = 0;
    QStringList names;  // capacity grows by 10; entries beyond count are stale
    QStringList addresses;
    void Add(const QString& name, const QString& address);
  };

  QString hostname_;
  QString from_address_;
  QString from_name_;
  QString subject_;
  QString content_type_;
  QString message_;
  int16_t timeout_ = 0;
  Recipients to_;
  Recipients cc_;
  Recipients bcc_;

  // The send in progress, or null.
  struct Session;
  Session* session_ = nullptr;

  // Seen by tests during a send.
  friend class MailTestPeer;
  int EffectiveTimeout() const;
  qsizetype PendingReplyBytes() const;
};

}  // namespace pigeon
