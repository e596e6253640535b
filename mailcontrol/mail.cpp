#include "pigeon/mail.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDeadlineTimer>
#include <QEventLoop>
#include <QHostInfo>
#include <QRegularExpression>
#include <QSslCertificate>
#include <QSslCipher>
#include <QSslConfiguration>
#include <QSslSocket>
#include <QTimer>
#include <QUuid>
#include <algorithm>
#include <climits>
#include <cstdlib>
#include <initializer_list>
#include <optional>

namespace pigeon {

const char* const Mail::kDescription = "Pigeon SMTP Mail Control";

namespace {

constexpr int kDefaultTimeoutSeconds = 30;
// Longest reply line kept; a server that sends more without a line end is broken or hostile.
constexpr qsizetype kMaxReplyLine = 64 * 1024;
// Lines of one multi-line reply; more is a flood.
constexpr qsizetype kMaxReplyLines = 100;
// Bytes kept of each such line; capabilities are short.
constexpr qsizetype kMaxKeptLine = 1000;
// Replies that arrived unasked; more means the server is not following the conversation.
constexpr qsizetype kMaxQueuedReplies = 16;
// The longest line RFC 5322 allows, without its CR LF.
constexpr qsizetype kMaxLineBytes = 998;
// Bytes of UTF-8 per encoded word: 60 base64 characters keep the word within 75.
constexpr qsizetype kEncodedWordBytes = 45;
// When quitting, how long a reply to the end of the data is still awaited.
constexpr int kQuitGraceMs = 500;
// What QEventLoop::exec returns when it refuses to run because the application is quitting.
constexpr int kLoopRefused = -1;

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
    {"Security",
     "Set this property to encrypt the connection: 0 for none, 1 for STARTTLS, 2 for implicit "
     "TLS.  The default is none."},
    {"Port",
     "Set this property to the port of the SMTP gateway.  0, the default, means 25 without "
     "encryption, 587 for STARTTLS and 465 for implicit TLS.  A port given in Hostname wins."},
    {"UserName",
     "Set this property to the user name for logging in to the SMTP gateway.  Empty, the "
     "default, means no login.  A login needs an encrypted connection."},
    {"Password", "Set this property to the password for logging in to the SMTP gateway."},
    {"CAFile",
     "Set this property to a PEM file of certificate authorities to trust besides the "
     "system's own."},
    {"LastError",
     "After Send, this property holds why the send failed: the server's reply or the "
     "connection error.  It is empty after a successful send."},
    {"LastReplyCode",
     "After Send, this property holds the SMTP code of the reply that refused the mail, or 0."},
    {"IsTemporaryFailure",
     "After Send, this property is True when the mail may be sent successfully later."},
};

struct Endpoint {
  QString host;
  int port = 0;  // 0 when Hostname names none
};

std::optional<int> ParsePort(const QString& text) {
  bool ok = false;
  const uint port = text.toUInt(&ok);
  if (!ok || port == 0 || port > 65535) return std::nullopt;
  return int(port);
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
    const std::optional<int> number = ParsePort(port);
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

bool IsAscii(const QByteArray& bytes) {
  return std::all_of(bytes.begin(), bytes.end(), [](char c) { return uchar(c) < 0x80; });
}

// Every line end ("\r\n", "\r" or "\n") becomes CR LF.
QByteArray CrLfText(const QByteArray& in) {
  QByteArray out;
  out.reserve(in.size() + in.size() / 16);
  for (qsizetype i = 0; i < in.size(); ++i) {
    const char c = in[i];
    if (c == '\r' || c == '\n') {
      if (c == '\r' && i + 1 < in.size() && in[i + 1] == '\n') ++i;
      out += "\r\n";
    } else {
      out += c;
    }
  }
  return out;
}

bool HasLongLine(const QByteArray& crlf_text) {
  qsizetype start = 0;
  for (;;) {
    const qsizetype end = crlf_text.indexOf("\r\n", start);
    const qsizetype stop = end < 0 ? crlf_text.size() : end;
    if (stop - start > kMaxLineBytes) return true;
    if (end < 0) return false;
    start = end + 2;
  }
}

// RFC 2045 quoted-printable of CR LF separated lines: line ends stay hard breaks, every output
// line stays within 76 characters, and nothing but printable ASCII is left bare.
QByteArray QuotedPrintable(const QByteArray& crlf_text) {
  static const char kHex[] = "0123456789ABCDEF";
  QByteArray out;
  out.reserve(crlf_text.size() * 3 / 2);
  const QList<QByteArray> lines = crlf_text.split('\n');
  for (qsizetype n = 0; n < lines.size(); ++n) {
    QByteArray line = lines[n];
    if (n + 1 < lines.size()) line.chop(1);  // its '\r'
    qsizetype column = 0;
    for (qsizetype i = 0; i < line.size(); ++i) {
      const uchar c = uchar(line[i]);
      const bool blank = c == ' ' || c == '\t';
      const bool encode =
          c == '=' || c > 126 || (c < 32 && c != '\t') || (blank && i + 1 == line.size());
      const qsizetype width = encode ? 3 : 1;
      if (column + width > 75) {
        out += "=\r\n";
        column = 0;
      }
      if (encode) {
        out += '=';
        out += kHex[c >> 4];
        out += kHex[c & 15];
      } else {
        out += char(c);
      }
      column += width;
    }
    if (n + 1 < lines.size()) out += "\r\n";
  }
  return out;
}

// A line that starts with "." gets a second one, so the text can neither end the data early
// nor reach the reader altered.
QByteArray DotStuffed(const QByteArray& crlf_text) {
  QByteArray out;
  out.reserve(crlf_text.size() + crlf_text.size() / 32 + 1);
  bool line_start = true;
  for (const char c : crlf_text) {
    if (line_start && c == '.') out += '.';
    out += c;
    line_start = c == '\n';
  }
  return out;
}

// RFC 2047 "B" words of UTF-8, folded onto continuation lines; a character is never split.
QByteArray EncodedWords(const QByteArray& utf8) {
  QByteArray out;
  qsizetype start = 0;
  while (start < utf8.size()) {
    qsizetype end = std::min(start + kEncodedWordBytes, utf8.size());
    while (end > start && end < utf8.size() && (uchar(utf8[end]) & 0xC0) == 0x80) --end;
    if (end == start) end = std::min(start + kEncodedWordBytes, utf8.size());
    if (!out.isEmpty()) out += "\r\n ";
    out += "=?UTF-8?B?" + utf8.mid(start, end - start).toBase64() + "?=";
    start = end;
  }
  return out;
}

// A display name before "<address>": as always when ASCII, else encoded words and a blank.
QByteArray DisplayName(const QString& name, bool quoted) {
  const QByteArray bytes = OneLine(name);
  if (IsAscii(bytes)) return quoted ? '"' + bytes + '"' : bytes;
  return EncodedWords(bytes) + ' ';
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

// Unique and in the sender's domain when it has a usable one.
QByteArray MessageId(const QString& from_address) {
  static const QRegularExpression kDomain("^[A-Za-z0-9-]+(\\.[A-Za-z0-9-]+)*$");
  QString domain = from_address.section('@', -1);
  if (!from_address.contains('@') || !kDomain.match(domain).hasMatch()) domain = "pigeon.invalid";
  return '<' + QUuid::createUuid().toString(QUuid::WithoutBraces).toLatin1() + '@' +
         domain.toLatin1() + '>';
}

// A text type without a declared character set would let readers guess at the UTF-8 bytes.
QByteArray ContentTypeText(const QString& content_type, const QByteArray& utf8_body) {
  QByteArray text = OneLine(content_type);
  const QByteArray lower = text.trimmed().toLower();
  if (!IsAscii(utf8_body) && lower.startsWith("text/") && !lower.contains("charset=")) {
    text += "; charset=utf-8";
  }
  return text;
}

// The SMTP code of a final reply line ("250 text" or a bare "250"), or 0.
int ReplyCode(const QByteArray& line) {
  if (line.size() < 3 || (line.size() > 3 && line[3] != ' ')) return 0;
  int code = 0;
  for (int i = 0; i < 3; ++i) {
    if (line[i] < '0' || line[i] > '9') return 0;
    code = code * 10 + (line[i] - '0');
  }
  return code;
}

bool IsTemporaryCode(int code) { return code >= 400 && code < 500; }

}  // namespace

// One SMTP conversation. It lives on the stack of Send and holds copies of everything it sends,
// so it can finish safely even when the Mail is destroyed by an event dispatched meanwhile.
struct Mail::Session {
  struct Recipient {
    QString name;
    QString address;
  };
  using List = QList<Recipient>;

  struct Reply {
    int code = 0;             // 0 when the final line carries no code
    QByteArray text;          // the final line
    QList<QByteArray> lines;  // every line, each cut to kMaxKeptLine bytes
  };

  struct Failure {
    QString reason;
    int code = 0;
    bool temporary = false;
  };

  Session() {
    timer.setSingleShot(true);
    socket.setReadBufferSize(kMaxReplyLine);
    QObject::connect(&timer, &QTimer::timeout, &loop, &QEventLoop::quit);
    QObject::connect(&socket, &QSslSocket::connected, &loop, &QEventLoop::quit);
    QObject::connect(&socket, &QSslSocket::encrypted, &loop, [this] {
      const QSslCipher cipher = socket.sessionCipher();
      Log("TLS: encrypted with " + cipher.protocolString() + ' ' + cipher.name() +
          ", certificate verified for " + socket.peerName());
      loop.quit();
    });
    QObject::connect(&socket, &QSslSocket::sslErrors, &loop, [this](const QList<QSslError>& all) {
      for (const QSslError& error : all) {
        Log("TLS: " + error.errorString());
        if (tls_error.isEmpty()) tls_error = "TLS: " + error.errorString();
      }
    });
    QObject::connect(&socket, &QSslSocket::readyRead, &loop, [this] {
      Feed(socket.readAll());
      loop.quit();
    });
    QObject::connect(&socket, &QSslSocket::errorOccurred, &loop, [this] {
      Feed(socket.readAll());
      if (socket_error.isEmpty()) socket_error = socket.errorString();
      closed = true;
      loop.quit();
    });
    QObject::connect(&socket, &QSslSocket::disconnected, &loop, [this] {
      closed = true;
      loop.quit();
    });
  }

  void Log(const QString& line) {
    if (owner != nullptr) emit owner->TranscriptLine(line);
  }

  // Splits arrivals into lines. Only an unfinished line is ever held whole; a line longer than
  // kMaxReplyLine ends the conversation.
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
    if (overflow) return;  // this wait fails anyway
    if (pending.lines.size() >= kMaxReplyLines || replies.size() >= kMaxQueuedReplies) {
      overflow = true;  // a flood, not a conversation
      return;
    }
    if (line.endsWith('\r')) line.chop(1);
    Log("S: " + QString::fromUtf8(line));
    pending.lines.append(line.left(kMaxKeptLine));
    if (line.size() >= 4 && line[3] == '-') return;  // more lines of this reply follow
    pending.code = ReplyCode(line);
    pending.text = line;
    replies.append(pending);
    pending = Reply();
  }

  void Fail(const QString& reason, int code, bool temporary) {
    if (!failure) failure = Failure{reason, code, temporary};
  }

  // A line without a code is not a refusal of this mail; it may go through another time.
  void FailReply(const Reply& reply) {
    Fail(QString::fromUtf8(reply.text), reply.code, reply.code == 0 || IsTemporaryCode(reply.code));
  }

  // Why a wait for `what` ended without it.
  void FailWaiting(const QString& what) {
    if (quitting) {
      Fail("the application is quitting", 0, true);
    } else if (!tls_error.isEmpty()) {
      Fail(tls_error, 0, false);  // the same certificate would be refused again
    } else if (overflow) {
      Fail("the server sent more than an SMTP reply", 0, true);
    } else if (closed) {
      Fail(socket_error.isEmpty() ? QString("the server closed the connection") : socket_error, 0,
           true);
    } else {
      Fail(QString("no %1 within %2 seconds").arg(what).arg(effective_timeout), 0, true);
    }
  }

  // Dispatches events until `ready` holds, the connection ends, a reply overflows, the
  // application quits, or more than the effective timeout of whole-second boundaries have
  // passed since the start.
  template <typename Ready>
  bool Await(Ready ready) {
    const qint64 start_ms = QDateTime::currentMSecsSinceEpoch();
    const qint64 end_ms = (start_ms / 1000 + effective_timeout + 1) * 1000;
    // A monotonic deadline, so a clock change cannot stretch or cut the wait.
    const QDeadlineTimer deadline(end_ms - start_ms);
    for (;;) {
      if (ready()) return true;
      if (closed || overflow || deadline.hasExpired()) return false;
      if (quitting) {
        if (!final_reply) return false;
        // The server may hold the message already; without its answer a retry could deliver
        // it twice. No event loop runs any more, so the socket is read directly.
        const QDeadlineTimer grace(std::min<qint64>(deadline.remainingTime(), kQuitGraceMs));
        while (!ready() && !closed && !overflow && !grace.hasExpired()) {
          if (!socket.waitForReadyRead(int(grace.remainingTime()))) break;
        }
        return ready();
      }
      timer.start(int(std::clamp<qint64>(deadline.remainingTime(), 0, INT_MAX)));
      if (loop.exec() == kLoopRefused) quitting = true;
    }
  }

  // The next reply; in the plain mode only one with `code` counts. Records the failure when
  // none comes.
  std::optional<Reply> Receive(int code) {
    std::optional<Reply> reply;
    std::optional<Reply> ignored;
    qsizetype ignored_count = 0;
    Await([&] {
      while (!reply && !replies.isEmpty()) {
        Reply next = replies.takeFirst();
        if (modern || next.code == code) {
          reply = std::move(next);
        } else {
          ignored = std::move(next);
          if (++ignored_count > kMaxQueuedReplies) overflow = true;
        }
      }
      return reply.has_value();
    });
    if (!reply) {
      if (ignored && !quitting && !closed && !overflow) {
        FailReply(*ignored);
      } else {
        FailWaiting("reply from the server");
      }
    }
    overflow = false;
    return reply;
  }

  // A reply of the class of `code` (2xx for 250) continues the conversation.
  std::optional<Reply> Expect(int code) {
    std::optional<Reply> reply = Receive(code);
    if (reply && reply->code / 100 != code / 100) {
      FailReply(*reply);
      return std::nullopt;
    }
    return reply;
  }

  // `shown` replaces the line in the transcript when it holds secrets.
  void Write(const QByteArray& command, const QString& shown = {}) {
    socket.write(command + "\r\n");
    Log("C: " + (shown.isNull() ? QString::fromUtf8(command) : shown));
  }

  bool Command(const QByteArray& command, int code, const QString& shown = {}) {
    Write(command, shown);
    return Expect(code).has_value();
  }

  bool Hello() {
    const QByteArray host = OneLine(QHostInfo::localHostName());
    if (!modern) return Command("HELO " + host, 250);
    Write("EHLO " + host);
    const std::optional<Reply> reply = Receive(250);
    if (!reply) return false;
    if (reply->code / 100 == 2) {
      capabilities = reply->lines.mid(1);
      for (QByteArray& capability : capabilities) capability = capability.mid(4).toUpper();
      return true;
    }
    if (reply->code / 100 != 5) {
      FailReply(*reply);
      return false;
    }
    capabilities.clear();
    return Command("HELO " + host, 250);
  }

  // The words of the EHLO line naming `keyword` ("AUTH PLAIN LOGIN" gives PLAIN and LOGIN);
  // nullopt when the server did not name it.
  std::optional<QList<QByteArray>> Capability(const QByteArray& keyword) const {
    for (const QByteArray& capability : capabilities) {
      QList<QByteArray> words = capability.simplified().split(' ');
      if (words.front() == keyword) return words.mid(1);
      if (words.front().startsWith(keyword + '=')) {  // the pre-standard "AUTH=PLAIN"
        words.front().remove(0, keyword.size() + 1);
        return words;
      }
    }
    return std::nullopt;
  }

  bool AwaitEncrypted() {
    if (Await([&] { return socket.isEncrypted(); })) return true;
    FailWaiting("TLS handshake");
    return false;
  }

  bool StartTls() {
    if (!Capability("STARTTLS")) {
      Fail("the server does not offer STARTTLS; nothing was sent unencrypted", 0, false);
      polite = false;
      return false;
    }
    if (!Command("STARTTLS", 220)) return false;
    if (!replies.isEmpty() || !line.isEmpty() || !pending.lines.isEmpty()) {
      // Anything sent before the handshake could be an attacker's injected reply.
      Fail("the server sent data before the TLS handshake", 0, false);
      polite = false;
      return false;
    }
    Log("TLS: starting the handshake");
    socket.startClientEncryption();
    return AwaitEncrypted() && Hello();
  }

  bool Authenticate() {
    if (!socket.isEncrypted()) {
      Fail("refusing to log in over an unencrypted connection", 0, false);
      return false;
    }
    const QList<QByteArray> mechanisms = Capability("AUTH").value_or(QList<QByteArray>());
    const QByteArray user = user_name.toUtf8();
    const QByteArray secret = password.toUtf8();
    if (mechanisms.contains("PLAIN")) {
      return Command("AUTH PLAIN " + ('\0' + user + '\0' + secret).toBase64(), 235,
                     "AUTH PLAIN ****");
    }
    if (mechanisms.contains("LOGIN")) {
      return Command("AUTH LOGIN", 334) && Command(user.toBase64(), 334, "****") &&
             Command(secret.toBase64(), 235, "****");
    }
    Fail("the server offers neither AUTH PLAIN nor AUTH LOGIN", 0, false);
    return false;
  }

  static QByteArray AddressList(const List& list) {
    QByteArray text;
    for (const Recipient& entry : list) {
      if (!text.isEmpty()) text += ", ";
      text += DisplayName(entry.name, true) + '<' + OneLine(entry.address) + '>';
    }
    return text;
  }

  QByteArray Content() const {
    const QByteArray utf8_body = message.toUtf8();
    QByteArray body = CrLfText(utf8_body);
    const bool quoted_printable =
        HasLongLine(body) || (!IsAscii(body) && (modern || content_type.isEmpty()));
    if (quoted_printable) body = QuotedPrintable(body);

    QByteArray data =
        "From: " + DisplayName(from_name, false) + '<' + OneLine(from_address) + ">\r\n";
    data += "Date: " + DateText(QDateTime::currentDateTime()) + "\r\n";
    if (modern) data += "Message-ID: " + MessageId(from_address) + "\r\n";
    data += "To: " + AddressList(to) + "\r\n";
    data += "Cc: " + AddressList(cc) + "\r\n";
    const QByteArray subject_bytes = OneLine(subject);
    if (IsAscii(subject_bytes) && subject_bytes.size() + 8 <= kMaxLineBytes) {
      data += "Subject:" + subject_bytes + "\r\n";
    } else {
      data += "Subject: " + EncodedWords(subject_bytes) + "\r\n";
    }
    if (!content_type.isEmpty() || quoted_printable) {
      data += "MIME-Version: 1.0\r\n";
      const QString type = content_type.isEmpty() ? QString("text/plain") : content_type;
      data += "Content-Type: " + ContentTypeText(type, utf8_body) + "\r\n";
    }
    if (quoted_printable) data += "Content-Transfer-Encoding: quoted-printable\r\n";
    data += "\r\n";
    data += DotStuffed(body) + "\r\n";
    return data;
  }

  void SendContent() {
    const QByteArray data = Content();
    socket.write(data);
    for (const QByteArray& sent : QByteArrayView(data).chopped(2).toByteArray().split('\n')) {
      Log("C: " + QString::fromUtf8(sent.endsWith('\r') ? sent.chopped(1) : sent));
    }
  }

  void Converse() {
    if (!Expect(220)) return;
    if (!Hello()) return;
    if (security == SecurityMode::kStartTls && !StartTls()) return;
    if (!user_name.isEmpty() && !Authenticate()) return;
    if (!Command("MAIL FROM: <" + OneLine(from_address) + '>', 250)) return;
    for (const List* list : {&to, &cc, &bcc}) {
      for (const Recipient& entry : *list) {
        if (!Command("RCPT TO: <" + OneLine(entry.address) + '>', 250)) return;
      }
    }
    if (!Command("DATA", 354)) return;
    SendContent();
    final_reply = true;
    Log("C: ");
    Command("\r\n.", 250, ".");  // the dot line after a blank line
    final_reply = false;
  }

  // Connects, converses and says goodbye; the outcome is in `failure`.
  void Run(const Endpoint& endpoint) {
    Log(QString("Connecting to %1 port %2").arg(endpoint.host).arg(endpoint.port));
    if (closed) return;  // the Mail was destroyed by a transcript reader
    if (security == SecurityMode::kImplicitTls) {
      socket.connectToHostEncrypted(endpoint.host, quint16(endpoint.port));
      if (!AwaitEncrypted()) return;
    } else {
      socket.connectToHost(endpoint.host, quint16(endpoint.port));
      if (!Await([&] { return socket.state() == QAbstractSocket::ConnectedState; })) {
        FailWaiting("connection");
        return;
      }
    }
    Converse();
    // The message is the server's once it acknowledged the data; QUIT cannot undo that.
    const std::optional<Failure> outcome = failure;
    if (!closed && !quitting && polite) Command("QUIT", 221);
    failure = outcome;
  }

  QSslSocket socket;
  QEventLoop loop;
  QTimer timer;

  Mail* owner = nullptr;  // null once the Mail is destroyed
  int effective_timeout = kDefaultTimeoutSeconds;
  bool modern = false;
  SecurityMode security = SecurityMode::kNone;
  std::optional<Failure> failure;
  bool closed = false;  // the connection is gone, or the Mail was destroyed
  bool quitting = false;
  bool final_reply = false;  // awaiting the reply to the end of the data
  bool polite = true;        // QUIT is still worth sending
  QString socket_error;
  QString tls_error;
  QByteArray line;  // unfinished reply line
  bool discarding = false;
  bool overflow = false;
  Reply pending;         // lines of an unfinished multi-line reply
  QList<Reply> replies;  // complete replies not yet taken
  QList<QByteArray> capabilities;

  QString from_name, from_address, subject, content_type, message, user_name, password;
  List to, cc, bcc;
};

Mail::Mail(QObject* parent) : QObject(parent) {}

Mail::~Mail() {
  if (session_ != nullptr) {
    session_->owner = nullptr;
    session_->closed = true;
    session_->Fail("the mail object was destroyed", 0, false);
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

int Mail::DefaultPort(SecurityMode security) {
  switch (security) {
    case SecurityMode::kStartTls:
      return 587;
    case SecurityMode::kImplicitTls:
      return 465;
    case SecurityMode::kNone:
      break;
  }
  return 25;
}

bool Mail::Refuse(const QString& reason, bool temporary) {
  last_error_ = reason;
  last_reply_code_ = 0;
  temporary_failure_ = temporary;
  emit TranscriptLine("Failed: " + reason);
  return false;
}

bool Mail::Send() {
  if (session_ != nullptr) return Refuse("a send on this mail object is still running");
  if (QCoreApplication::instance() == nullptr) return Refuse("no application object exists");
  if (hostname_.trimmed().isEmpty()) return Refuse("no SMTP server is set");
  if (to_.count + cc_.count + bcc_.count < 1) return Refuse("the mail has no recipients");
  std::optional<Endpoint> endpoint = ParseHostname(hostname_);
  if (!endpoint) return Refuse("the SMTP server \"" + hostname_ + "\" is not host or host:port");
  if (port_ < 0 || port_ > 65535) return Refuse(QString("port %1 is out of range").arg(port_));
  if (endpoint->port == 0) endpoint->port = port_ != 0 ? port_ : DefaultPort(security_);
  if (security_ < SecurityMode::kNone || security_ > SecurityMode::kImplicitTls) {
    return Refuse(QString("security mode %1 is unknown").arg(int(security_)));
  }
  const bool encrypted = security_ != SecurityMode::kNone;
  if (!user_name_.isEmpty() && !encrypted) {
    return Refuse("a login needs STARTTLS or implicit TLS; the password is never sent unencrypted");
  }
  if (encrypted && !QSslSocket::supportsSsl()) return Refuse("TLS is not available");

  Session session;
  if (encrypted) {
    QSslConfiguration tls = QSslConfiguration::defaultConfiguration();
    tls.setPeerVerifyMode(QSslSocket::VerifyPeer);
    if (!ca_file_.isEmpty()) {
      const QList<QSslCertificate> authorities = QSslCertificate::fromPath(
          ca_file_, QSsl::Pem, QSslCertificate::PatternSyntax::FixedString);
      if (authorities.isEmpty()) {
        return Refuse("the CA file \"" + ca_file_ + "\" holds no PEM certificate");
      }
      tls.addCaCertificates(authorities);
    }
    session.socket.setSslConfiguration(tls);
  }
  session.owner = this;
  session.effective_timeout = timeout_ > 0 ? timeout_ : kDefaultTimeoutSeconds;
  session.modern = encrypted || !user_name_.isEmpty();
  session.security = security_;
  session.from_name = from_name_;
  session.from_address = from_address_;
  session.subject = subject_;
  session.content_type = content_type_;
  session.message = message_;
  session.user_name = user_name_;
  session.password = password_;
  for (auto [list, copy] : {std::pair{&to_, &session.to}, std::pair{&cc_, &session.cc},
                            std::pair{&bcc_, &session.bcc}}) {
    for (int i = 0; i < list->count; ++i) copy->append({list->names[i], list->addresses[i]});
  }
  session_ = &session;
  // Until the end, only `session` is touched: an event handler may destroy this object.

  session.Run(*endpoint);
  session.socket.abort();
  if (session.owner == nullptr) return false;
  session_ = nullptr;
  const Session::Failure outcome = session.failure.value_or(Session::Failure());
  last_error_ = outcome.reason;
  last_reply_code_ = outcome.code;
  temporary_failure_ = outcome.temporary;
  if (session.failure) emit TranscriptLine("Failed: " + outcome.reason);
  return !session.failure;
}

}  // namespace pigeon
