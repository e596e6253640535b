#include "pigeon/mail.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDeadlineTimer>
#include <QEventLoop>
#include <QHostInfo>
#include <QTcpSocket>
#include <QTimer>
#include <algorithm>
#include <cstdlib>
#include <initializer_list>
#include <optional>

namespace pigeon {

const char* const Mail::kDescription = "Pigeon SMTP Mail Control";

namespace {

constexpr int16_t kDefaultTimeoutSeconds = 30;
constexpr quint16 kDefaultPort = 25;
// Longest reply line kept; a server that sends more without a line end is broken or hostile.
constexpr qsizetype kMaxReplyLine = 64 * 1024;

struct HelpEntry {
  const char* member;
  const char* text;
};

constexpr HelpEntry kHelp[] = {
    {"Send", "Call this function to send mail.  Returns True if successful, False if send fails."},
    {"Hostname",
     "This should be the hostname (or IP address) of the SMTP gateway.  This is where the "
     "e-mail will be sent for relaying."},
    {"FromAddress", "This is the e-mail address that the message will appear to be from."},
    {"Subject", "This property should be set to the subject of the e-mail message."},
    {"ContentType", ""},
    {"Message", "This property should be the body of the e-mail message that should be sent."},
    {"FromName", "This is the name of the person/system the e-mail should appear to be from."},
    {"Timeout",
     "Set this property to the maximum amount of time (in seconds) the control should wait for "
     "a response from the server.  The default is 30 seconds."},
    {"AddToAddress",
     "Call this function to add addresses to the list of addresses to which the message should "
     "be sent."},
    {"ClearToAddresses", "Call this subroutine to clear the To address list."},
    {"AddCcAddress",
     "Call this function to add addresses to the list to which carbon copies of the message "
     "should be sent."},
    {"ClearCcAddresses", "Call this subroutine to clear the Cc address list."},
    {"AddBccAddress",
     "Call this function to add addresses to the list of addresses to which blind carbon "
     "copies of the message should be sent."},
    {"ClearBccAddresses", "Call this subroutine to clear the Bcc address list."},
};

struct Endpoint {
  QString host;
  quint16 port = kDefaultPort;
};

std::optional<quint16> ParsePort(const QString& text) {
  bool ok = false;
  const uint port = text.toUInt(&ok);
  if (!ok || port == 0 || port > 65535) return std::nullopt;
  return quint16(port);
}

std::optional<Endpoint> ParseHostname(const QString& hostname) {
  const QString text = hostname.trimmed();
  Endpoint endpoint;
  QString port;
  if (text.startsWith('[')) {
    const qsizetype close = text.indexOf(']');
    if (close < 0) return std::nullopt;
    endpoint.host = text.mid(1, close - 1);
    const QString rest = text.mid(close + 1);
    if (!rest.isEmpty()) {
      if (!rest.startsWith(':')) return std::nullopt;
      port = rest.mid(1);
    }
  } else if (text.count(':') == 1) {
    const qsizetype colon = text.indexOf(':');
    endpoint.host = text.left(colon);
    port = text.mid(colon + 1);
  } else {
    endpoint.host = text;  // a name, an IPv4 address, or a bare IPv6 address
  }
  if (endpoint.host.isEmpty()) return std::nullopt;
  if (!port.isNull()) {
    const std::optional<quint16> number = ParsePort(port);
    if (!number) return std::nullopt;
    endpoint.port = *number;
  }
  return endpoint;
}

QByteArray OneLine(const QString& text) {
  QByteArray bytes = text.toUtf8();
  bytes.replace('\r', ' ').replace('\n', ' ');
  return bytes;
}

// Every line end becomes CR LF and a line that starts with "." gets a second one, so the text
// can neither end the data early nor reach the reader altered.
QByteArray DataText(const QString& message) {
  const QByteArray in = message.toUtf8();
  QByteArray out;
  out.reserve(in.size() + in.size() / 16 + 2);
  bool line_start = true;
  for (qsizetype i = 0; i < in.size(); ++i) {
    const char c = in[i];
    if (c == '\r' || c == '\n') {
      if (c == '\r' && i + 1 < in.size() && in[i + 1] == '\n') ++i;
      out += "\r\n";
      line_start = true;
      continue;
    }
    if (line_start && c == '.') out += '.';
    out += c;
    line_start = false;
  }
  return out;
}

// RFC 5322 form with English names whatever the locale, e.g. "Tue, 05 Mar 2024 14:03:07 +0100".
QByteArray DateText(const QDateTime& now) {
  static const char* const kDays[] = {"Mon", "Tue", "Wed", "Thu", "Fri", "Sat", "Sun"};
  static const char* const kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                        "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  const QDate date = now.date();
  const QTime time = now.time();
  const int offset_minutes = now.offsetFromUtc() / 60;
  const int magnitude = std::abs(offset_minutes);
  return QString::asprintf("%s, %02d %s %04d %02d:%02d:%02d %c%02d%02d",
                           kDays[date.dayOfWeek() - 1], date.day(), kMonths[date.month() - 1],
                           date.year(), time.hour(), time.minute(), time.second(),
                           offset_minutes < 0 ? '-' : '+', magnitude / 60, magnitude % 60)
      .toLatin1();
}

bool IsAscii(const QByteArray& bytes) {
  return std::all_of(bytes.begin(), bytes.end(), [](char c) { return uchar(c) < 0x80; });
}

// A text type without a declared character set would let readers guess at the UTF-8 bytes.
QByteArray ContentTypeText(const QString& content_type, const QByteArray& body) {
  QByteArray text = OneLine(content_type);
  const QByteArray lower = text.trimmed().toLower();
  if (!IsAscii(body) && lower.startsWith("text/") && !lower.contains("charset=")) {
    text += "; charset=utf-8";
  }
  return text;
}

}  // namespace

// One SMTP conversation. It lives on the stack of Send and holds copies of everything it sends,
// so it can finish safely even when the Mail is destroyed by an event dispatched meanwhile.
struct Mail::Session {
  struct Recipient {
    QString name;
    QString address;
  };
  using List = QList<Recipient>;

  Session() {
    timer.setSingleShot(true);
    socket.setReadBufferSize(kMaxReplyLine);
    QObject::connect(&timer, &QTimer::timeout, &loop, &QEventLoop::quit);
    QObject::connect(&socket, &QTcpSocket::connected, &loop, &QEventLoop::quit);
    QObject::connect(&socket, &QTcpSocket::readyRead, &loop, [this] {
      Feed(socket.readAll());
      loop.quit();
    });
    QObject::connect(&socket, &QTcpSocket::errorOccurred, &loop, [this] {
      Feed(socket.readAll());
      success = false;
      closed = true;
      loop.quit();
    });
    QObject::connect(&socket, &QTcpSocket::disconnected, &loop, [this] {
      closed = true;
      loop.quit();
    });
  }

  // Splits arrivals into lines. A multi-line reply is recognised by its last line; the lines
  // before it are dropped as they come, so only an unfinished line is ever held.
  void Feed(const QByteArray& data) {
    qsizetype pos = 0;
    while (pos < data.size()) {
      const qsizetype end = data.indexOf('\n', pos);
      const qsizetype stop = end < 0 ? data.size() : end;
      if (!discarding) {
        if (line.size() + (stop - pos) > kMaxReplyLine) {
          overflow = true;
          discarding = true;
          line.clear();
          line.squeeze();
        } else {
          line.append(data.constData() + pos, stop - pos);
        }
      }
      if (end < 0) break;
      if (!discarding) TakeLine();
      discarding = false;
      line.clear();
      pos = end + 1;
    }
  }

  void TakeLine() {
    if (line.endsWith('\r')) line.chop(1);
    if (line.size() >= 4 && line[3] == '-') return;  // more lines of this reply follow
    last_reply = line;
  }

  // "250 text" or a bare "250"; any other code counts as no reply.
  bool ReplyIs(int code) const {
    const QByteArray digits = QByteArray::number(code);
    return last_reply.startsWith(digits) &&
           (last_reply.size() == digits.size() || last_reply[digits.size()] == ' ');
  }

  // Dispatches events until `ready` holds, the connection ends, a reply overflows, or more
  // than the effective timeout of whole-second boundaries have passed since the start.
  template <typename Ready>
  bool Await(Ready ready) {
    const qint64 start_ms = QDateTime::currentMSecsSinceEpoch();
    const qint64 end_ms = (start_ms / 1000 + effective_timeout + 1) * 1000;
    // A monotonic deadline, so a clock change cannot stretch or cut the wait.
    const QDeadlineTimer deadline(end_ms - start_ms);
    for (;;) {
      if (ready()) return true;
      if (closed || overflow || deadline.hasExpired()) return false;
      timer.start(int(std::max<qint64>(deadline.remainingTime(), 0)));
      loop.exec();
    }
  }

  bool WaitReply(int code) {
    const bool ok = Await([&] { return ReplyIs(code); });
    overflow = false;
    if (ok) {
      last_reply.clear();
    } else {
      success = false;
    }
    return ok;
  }

  bool Command(const QByteArray& command, int code) {
    socket.write(command + "\r\n");
    return WaitReply(code);
  }

  static QByteArray AddressList(const List& list) {
    QByteArray text;
    for (const Recipient& entry : list) {
      if (!text.isEmpty()) text += ", ";
      text += '"' + OneLine(entry.name) + "\"<" + OneLine(entry.address) + '>';
    }
    return text;
  }

  QByteArray Content() const {
    const QByteArray body = DataText(message);
    QByteArray data = "From: " + OneLine(from_name) + '<' + OneLine(from_address) + ">\r\n";
    data += "Date: " + DateText(QDateTime::currentDateTime()) + "\r\n";
    data += "To: " + AddressList(to) + "\r\n";
    data += "Cc: " + AddressList(cc) + "\r\n";
    data += "Subject:" + OneLine(subject) + "\r\n";
    if (!content_type.isEmpty()) {
      data += "MIME-Version: 1.0\r\n";
      data += "Content-Type: " + ContentTypeText(content_type, body) + "\r\n";
    }
    data += "\r\n";
    data += body + "\r\n";
    return data;
  }

  void Converse() {
    if (!WaitReply(220)) return;
    if (!Command("HELO " + OneLine(QHostInfo::localHostName()), 250)) return;
    if (!Command("MAIL FROM: <" + OneLine(from_address) + '>', 250)) return;
    for (const List* list : {&to, &cc, &bcc}) {
      for (const Recipient& entry : *list) {
        if (!Command("RCPT TO: <" + OneLine(entry.address) + '>', 250)) return;
      }
    }
    if (!Command("DATA", 354)) return;
    socket.write(Content());
    Command("\r\n.", 250);  // the dot line after a blank line
  }

  QTcpSocket socket;
  QEventLoop loop;
  QTimer timer;

  int16_t effective_timeout = kDefaultTimeoutSeconds;
  bool success = true;
  bool closed = false;  // the connection is gone, or the Mail was destroyed
  bool orphaned = false;
  QByteArray line;  // unfinished reply line
  bool discarding = false;
  bool overflow = false;
  QByteArray last_reply;

  QString from_name, from_address, subject, content_type, message;
  List to, cc, bcc;
};

Mail::Mail(QObject* parent) : QObject(parent) {}

Mail::~Mail() {
  if (session_ != nullptr) {
    session_->orphaned = true;
    session_->closed = true;
    session_->success = false;
    session_->loop.quit();
  }
}

QString Mail::HelpText(const QString& member) {
  for (const HelpEntry& entry : kHelp) {
    if (member == QLatin1String(entry.member)) return QString::fromLatin1(entry.text);
  }
  return {};
}

void Mail::Recipients::Add(const QString& name, const QString& address) {
  if (count == names.size()) {
    for (int i = 0; i < 10; ++i) {
      names.append(QString());
      addresses.append(QString());
    }
  }
  names[count] = name;
  addresses[count] = address;
  ++count;
}

void Mail::AddToAddress(const QString& name, const QString& address) { to_.Add(name, address); }
void Mail::ClearToAddresses() { to_.count = 0; }
void Mail::AddCcAddress(const QString& name, const QString& address) { cc_.Add(name, address); }
void Mail::ClearCcAddresses() { cc_.count = 0; }
void Mail::AddBccAddress(const QString& name, const QString& address) { bcc_.Add(name, address); }
void Mail::ClearBccAddresses() { bcc_.count = 0; }

int Mail::EffectiveTimeout() const { return session_ != nullptr ? session_->effective_timeout : 0; }

qsizetype Mail::PendingReplyBytes() const {
  return session_ != nullptr ? session_->line.size() : 0;
}

bool Mail::Send() {
  if (session_ != nullptr || QCoreApplication::instance() == nullptr) return false;
  if (hostname_.isEmpty() || to_.count + cc_.count + bcc_.count < 1) return false;
  const std::optional<Endpoint> endpoint = ParseHostname(hostname_);
  if (!endpoint) return false;

  Session session;
  session.effective_timeout = timeout_ > 0 ? timeout_ : kDefaultTimeoutSeconds;
  session.from_name = from_name_;
  session.from_address = from_address_;
  session.subject = subject_;
  session.content_type = content_type_;
  session.message = message_;
  for (auto [list, copy] : {std::pair{&to_, &session.to}, std::pair{&cc_, &session.cc},
                            std::pair{&bcc_, &session.bcc}}) {
    for (int i = 0; i < list->count; ++i) copy->append({list->names[i], list->addresses[i]});
  }
  session_ = &session;
  // Until the end, only `session` is touched: an event handler may destroy this object.

  session.socket.connectToHost(endpoint->host, endpoint->port);
  const bool connected =
      session.Await([&] { return session.socket.state() == QAbstractSocket::ConnectedState; });
  if (!connected) session.success = false;
  if (connected && !session.closed) {
    session.Converse();
    // The message is the server's once it acknowledged the data; QUIT cannot undo that.
    const bool delivered = session.success;
    if (!session.closed) session.Command("QUIT", 221);
    session.success = delivered;
  }
  session.socket.abort();
  if (!session.orphaned) session_ = nullptr;
  return session.success;
}

}  // namespace pigeon
