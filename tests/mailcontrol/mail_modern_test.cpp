// Pigeon with encryption, login and the encodings modern servers need, against the scripted
// server on loopback.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QHostInfo>
#include <QRegularExpression>
#include <QStringList>
#include <QTimer>
#include <memory>
#include <string>
#include <vector>

#include "mailcontrol/mail_test_support.h"
#include "mailcontrol/scripted_server.h"
#include "mailcontrol/test_certificates.h"
#include "pigeon/mail.h"

namespace pigeon {

class MailTestPeer {
 public:
  static int EffectiveTimeout(const Mail& mail) { return mail.EffectiveTimeout(); }
};

namespace {

using ::pigeon_test::ScriptedServer;
using ::pigeon_test::TestCertificates;
using ::testing::AllOf;
using ::testing::Contains;
using ::testing::EndsWith;
using ::testing::HasSubstr;
using ::testing::Not;
using ::testing::StartsWith;
using Security = Mail::SecurityMode;

constexpr char kPassword[] = "s3cret-Pa55";

// Reverses quoted-printable: soft line breaks vanish, "=XX" becomes the byte.
QByteArray FromQuotedPrintable(const QByteArray& text) {
  QByteArray out;
  for (qsizetype i = 0; i < text.size(); ++i) {
    if (text[i] != '=') {
      out += text[i];
    } else if (text.mid(i + 1, 2) == "\r\n") {
      i += 2;
    } else {
      out += char(text.mid(i + 1, 2).toInt(nullptr, 16));
      i += 2;
    }
  }
  return out;
}

// The message as the server received it, between the DATA reply and the final dot.
QByteArray DataOf(const QByteArray& received) {
  const qsizetype start = received.indexOf("\r\nDATA\r\n") + 8;
  const qsizetype end = received.indexOf("\r\n\r\n.\r\n", start);
  return received.mid(start, end - start);
}

QByteArray HeaderOf(const QByteArray& data, const QByteArray& name) {
  const QRegularExpression pattern(QString::fromLatin1("(^|\r\n)" + name + ":(.*?)\r\n(?! )"),
                                   QRegularExpression::DotMatchesEverythingOption);
  return pattern.match(QString::fromLatin1(data)).captured(2).toLatin1();
}

QByteArray BodyOf(const QByteArray& data) { return data.mid(data.indexOf("\r\n\r\n") + 4); }

// Decodes a header of RFC 2047 "B" words in UTF-8, checking the form of each word.
QString DecodedWords(const QByteArray& value) {
  QByteArray utf8;
  for (const QByteArray& word : value.trimmed().split('\n')) {
    const QByteArray trimmed = word.trimmed();
    EXPECT_TRUE(trimmed.startsWith("=?UTF-8?B?") && trimmed.endsWith("?=")) << trimmed.data();
    EXPECT_LE(trimmed.size(), 75);
    const QByteArray piece = QByteArray::fromBase64(trimmed.mid(10, trimmed.size() - 12));
    EXPECT_TRUE(QString::fromUtf8(piece).toUtf8() == piece) << "a character split across words";
    utf8 += piece;
  }
  return QString::fromUtf8(utf8);
}

class MailModernTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    pigeon_test::EnsureCoreApplication();
    certificates_ = new TestCertificates;
    made_ = TestCertificates::Unavailable().isEmpty() && certificates_->Make();
  }
  static void TearDownTestSuite() { delete certificates_; }

  void SetUp() override {
    if (!made_) GTEST_SKIP() << "no test certificates: " << certificates_->Errors().toStdString();
    ASSERT_TRUE(server_.UseCertificate(certificates_->server, certificates_->key));
  }

  // A mail aimed at server_ that trusts the test authority, with the transcript recorded.
  void Prepare(Mail& mail, Security security) {
    mail.SetHostname(server_.Host());
    mail.SetSecurity(security);
    mail.SetCAFile(certificates_->ca);
    mail.SetFromName("Kestrel");
    mail.SetFromAddress("k@x.test");
    mail.SetSubject("Alert 1");
    mail.SetMessage("line one\r\nline two");
    mail.AddToAddress("Ops", "ops@x.test");
    mail.SetTimeout(2);
    QObject::connect(&mail, &Mail::TranscriptLine,
                     [this](const QString& line) { transcript_.push_back(line.toStdString()); });
  }

  static void ExpectOutcome(const Mail& mail, int code, bool temporary, const char* error) {
    EXPECT_EQ(mail.LastReplyCode(), code);
    EXPECT_EQ(mail.IsTemporaryFailure(), temporary);
    EXPECT_THAT(mail.LastError().toStdString(), HasSubstr(error));
  }

  static inline TestCertificates* certificates_ = nullptr;
  static inline bool made_ = false;
  ScriptedServer server_;
  std::vector<std::string> transcript_;  // the Mail's transcript lines
};

TEST_F(MailModernTest, LoginMechanismIsChosenByWhatTheServerOffers) {
  const QByteArray user64 = QByteArray("user").toBase64();
  const QByteArray pass64 = QByteArray(kPassword).toBase64();
  struct Case {
    QByteArray auth_line;
    bool sent;
    QByteArray expected;  // the login as the server received it, or what it must not receive
  };
  const Case cases[] = {
      {"250 AUTH PLAIN LOGIN", true, "AUTH PLAIN "},
      {"250 AUTH LOGIN", true, "AUTH LOGIN\r\n" + user64 + "\r\n" + pass64 + "\r\nMAIL"},
      {"250 AUTH=LOGIN", true, "AUTH LOGIN\r\n" + user64 + "\r\n" + pass64 + "\r\nMAIL"},
      {"250 AUTH CRAM-MD5", false, "AUTH"},
      {"250 SIZE 1000", false, "AUTH"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.auth_line.toStdString());
    ScriptedServer server;
    ASSERT_TRUE(server.UseCertificate(certificates_->server, certificates_->key));
    server.implicit_tls = true;
    server.replies["EHLO"] = "250-hello\r\n" + c.auth_line + "\r\n";
    server.script = [&](const QByteArray& line) -> QByteArray {
      if (line == "AUTH LOGIN" || line == user64) return "334 go on\r\n";
      return line == pass64 ? "235 welcome\r\n" : "";
    };
    transcript_.clear();
    Mail mail;
    Prepare(mail, Security::kImplicitTls);
    mail.SetHostname(server.Host());
    mail.SetUserName("user");
    mail.SetPassword(kPassword);
    EXPECT_EQ(mail.Send(), c.sent) << mail.LastError().toStdString();
    if (c.sent) {
      EXPECT_THAT(server.received.toStdString(), HasSubstr(c.expected.toStdString()));
    } else {
      ExpectOutcome(mail, 0, false, "neither AUTH PLAIN nor AUTH LOGIN");
      EXPECT_THAT(server.received.toStdString(), Not(HasSubstr(c.expected.toStdString())));
      EXPECT_THAT(server.received.toStdString(), Not(HasSubstr("MAIL")));
    }
    for (const std::string& line : transcript_) {
      EXPECT_THAT(line, AllOf(Not(HasSubstr(kPassword)), Not(HasSubstr(pass64.toStdString())),
                              Not(HasSubstr(user64.toStdString()))));
    }
  }
}

TEST_F(MailModernTest, CredentialsNeverTravelInClearText) {
  // Without encryption the send is refused before connecting.
  Mail plain;
  Prepare(plain, Security::kNone);
  plain.SetUserName("user");
  plain.SetPassword(kPassword);
  EXPECT_FALSE(plain.Send());
  ExpectOutcome(plain, 0, false, "needs STARTTLS or implicit TLS");
  // A server that offers no STARTTLS gets nothing after EHLO; one that refuses it gets QUIT.
  struct Case {
    QByteArray ehlo, starttls;
    int code;
    bool temporary;
    const char* error;
    QByteArray after_ehlo;
  };
  const Case cases[] = {
      {"250-hello\r\n250 AUTH PLAIN\r\n", "", 0, false, "does not offer STARTTLS", ""},
      {"250 hello\r\n", "", 0, false, "does not offer STARTTLS", ""},
      {"502 no\r\n", "", 0, false, "does not offer STARTTLS", "HELO"},
      {"250-hello\r\n250 STARTTLS\r\n", "454 TLS not available\r\n", 454, true,
       "454 TLS not available", "STARTTLS\r\nQUIT\r\n"},
      {"250-hello\r\n250 STARTTLS\r\n", "220 go\r\n250 injected\r\n", 0, false,
       "data before the TLS handshake", "STARTTLS\r\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.ehlo.toStdString() + c.starttls.toStdString());
    ScriptedServer server;
    ASSERT_TRUE(server.UseCertificate(certificates_->server, certificates_->key));
    server.replies["EHLO"] = c.ehlo;
    if (!c.starttls.isEmpty()) server.replies["STARTTLS"] = c.starttls;
    Mail mail;
    Prepare(mail, Security::kStartTls);
    mail.SetHostname(server.Host());
    mail.SetUserName("user");
    mail.SetPassword(kPassword);
    EXPECT_FALSE(mail.Send());
    ExpectOutcome(mail, c.code, c.temporary, c.error);
    const QByteArray ehlo = "EHLO " + QHostInfo::localHostName().toUtf8() + "\r\n";
    QByteArray expected = ehlo + c.after_ehlo;
    if (c.after_ehlo == "HELO") expected = ehlo + "HELO " + ehlo.mid(5);
    EXPECT_EQ(server.received.toStdString(), expected.toStdString());
    EXPECT_EQ(server.received, server.clear_received);
  }
}

TEST_F(MailModernTest, CertificatesAreVerifiedWithTheHostName) {
  struct Case {
    bool other_host;
    bool with_ca_file;
  };
  for (const Case c : {Case{true, true}, Case{false, false}}) {
    SCOPED_TRACE(c.other_host ? "other host" : "unknown authority");
    ScriptedServer server;
    ASSERT_TRUE(server.UseCertificate(c.other_host ? certificates_->other : certificates_->server,
                                      certificates_->key));
    server.implicit_tls = true;
    Mail mail;
    Prepare(mail, Security::kImplicitTls);
    mail.SetHostname(server.Host());
    if (!c.with_ca_file) mail.SetCAFile("");
    EXPECT_FALSE(mail.Send());
    ExpectOutcome(mail, 0, false, "TLS: ");
    EXPECT_EQ(server.received, "");
  }
  Mail mail;
  Prepare(mail, Security::kImplicitTls);
  mail.SetCAFile(certificates_->key);  // a file without certificates
  EXPECT_FALSE(mail.Send());
  ExpectOutcome(mail, 0, false, "holds no PEM certificate");
  EXPECT_EQ(server_.connections, 0);
}

TEST_F(MailModernTest, EhloFallsBackToHeloOnlyWhenRefusedPermanently) {
  const QByteArray host = QHostInfo::localHostName().toUtf8();
  struct Case {
    QByteArray ehlo_reply;
    bool sent;
    int code;
    QByteArray start;  // of what the server received
  };
  const Case cases[] = {
      {"250 hello\r\n", true, 0, "EHLO " + host + "\r\nMAIL"},
      {"502 command not implemented\r\n", true, 0,
       "EHLO " + host + "\r\nHELO " + host + "\r\nMAIL"},
      {"500 what\r\n", true, 0, "EHLO " + host + "\r\nHELO " + host + "\r\nMAIL"},
      {"421 busy\r\n", false, 421, "EHLO " + host + "\r\nQUIT\r\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.ehlo_reply.toStdString());
    ScriptedServer server;
    ASSERT_TRUE(server.UseCertificate(certificates_->server, certificates_->key));
    server.implicit_tls = true;
    server.replies["EHLO"] = c.ehlo_reply;
    Mail mail;
    Prepare(mail, Security::kImplicitTls);
    mail.SetHostname(server.Host());
    EXPECT_EQ(mail.Send(), c.sent);
    EXPECT_EQ(mail.LastReplyCode(), c.code);
    EXPECT_EQ(mail.IsTemporaryFailure(), !c.sent);
    EXPECT_THAT(server.received.toStdString(), StartsWith(c.start.toStdString()));
  }
}

TEST_F(MailModernTest, RefusalsReportTheReplyAndWhetherToRetry) {
  struct Case {
    QByteArray verb, reply;
    bool temporary;
  };
  const Case cases[] = {{"MAIL", "451 4.3.0 try later", true},
                        {"RCPT", "550 5.1.1 no such user", false},
                        {"DATA", "452 full", true},
                        {".", "554 5.7.1 spam", false},
                        {"RCPT", "no code at all", true}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.verb.toStdString());
    ScriptedServer server;
    ASSERT_TRUE(server.UseCertificate(certificates_->server, certificates_->key));
    server.implicit_tls = true;
    server.replies[c.verb] = c.reply + "\r\n";
    Mail mail;
    Prepare(mail, Security::kImplicitTls);
    mail.SetHostname(server.Host());
    mail.SetTimeout(30);  // a refusal ends the wait at once, whatever the timeout
    EXPECT_FALSE(mail.Send());
    ExpectOutcome(mail, c.reply.left(3).toInt(), c.temporary, c.reply.constData());
    EXPECT_EQ(mail.LastError(), c.reply);
    EXPECT_THAT(server.received.toStdString(), EndsWith("QUIT\r\n"));
  }
}

TEST_F(MailModernTest, ConnectionFailuresAndLocalRefusalsAreClassified) {
  ScriptedServer plain_server;  // no TLS: the handshake fails
  Mail mail;
  Prepare(mail, Security::kImplicitTls);
  mail.SetHostname(plain_server.Host());
  mail.SetTimeout(1);
  EXPECT_FALSE(mail.Send());
  EXPECT_EQ(mail.LastReplyCode(), 0);
  EXPECT_TRUE(mail.IsTemporaryFailure()) << mail.LastError().toStdString();
  EXPECT_NE(mail.LastError(), "");

  // The plain mode counts a wrong code as no reply, but still reports it.
  ScriptedServer old_server;
  old_server.replies["RCPT"] = "550 no such user\r\n";
  Mail old;
  Prepare(old, Security::kNone);
  old.SetHostname(old_server.Host());
  old.SetCAFile("");
  old.SetTimeout(1);
  EXPECT_FALSE(old.Send());
  ExpectOutcome(old, 550, false, "550 no such user");

  for (int port : {-1, 65536}) {
    mail.SetPort(port);
    EXPECT_FALSE(mail.Send()) << port;
    ExpectOutcome(mail, 0, false, "out of range");
  }
  mail.SetPort(65535);
  for (int mode : {-1, 3}) {
    mail.SetSecurity(Security(mode));
    EXPECT_FALSE(mail.Send()) << mode;
    ExpectOutcome(mail, 0, false, "is unknown");
  }
  mail.SetSecurity(Security::kImplicitTls);
  mail.ClearToAddresses();
  EXPECT_FALSE(mail.Send());
  ExpectOutcome(mail, 0, false, "no recipients");
  EXPECT_EQ(plain_server.connections, 1);
}

TEST_F(MailModernTest, FloodOfReplyLinesEndsTheSend) {
  // 100 lines make the longest reply taken, 16 replies the most that may wait to be read.
  struct Case {
    QByteArray greeting;
    bool sent;
  };
  const Case cases[] = {{QByteArray("220-x\r\n").repeated(99) + "220 ok\r\n", true},
                        {QByteArray("220-x\r\n").repeated(100) + "220 ok\r\n", false},
                        {QByteArray("554 no\r\n").repeated(15) + "220 ok\r\n", true},
                        {QByteArray("554 no\r\n").repeated(16) + "220 ok\r\n", false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.greeting.size());
    ScriptedServer server;
    server.replies[""] = c.greeting;
    transcript_.clear();
    Mail mail;
    Prepare(mail, Security::kNone);
    mail.SetHostname(server.Host());
    EXPECT_EQ(mail.Send(), c.sent);
    if (!c.sent) ExpectOutcome(mail, 0, true, "the server sent more than an SMTP reply");
    const auto received = std::count_if(transcript_.begin(), transcript_.end(),
                                        [](const std::string& line) { return line[0] == 'S'; });
    EXPECT_LE(received, 100 + 6);  // with the replies of a whole conversation
  }
}

TEST_F(MailModernTest, PortComesFromHostnameThenPortThenTheSecurityMode) {
  struct Case {
    QString hostname;
    int port;
    Security security;
    const char* connecting;
  };
  const Case cases[] = {
      {"127.0.0.1", 0, Security::kNone, "Connecting to 127.0.0.1 port 25"},
      {"127.0.0.1", 0, Security::kStartTls, "Connecting to 127.0.0.1 port 587"},
      {"127.0.0.1", 0, Security::kImplicitTls, "Connecting to 127.0.0.1 port 465"},
      {"127.0.0.1", 2525, Security::kStartTls, "Connecting to 127.0.0.1 port 2525"},
      {"127.0.0.1:2600", 2525, Security::kNone, "Connecting to 127.0.0.1 port 2600"},
      {"[::1]:2600", 0, Security::kImplicitTls, "Connecting to ::1 port 2600"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.connecting);
    auto* mail = new Mail;
    Prepare(*mail, c.security);
    mail->SetHostname(c.hostname);
    mail->SetPort(c.port);
    QString first;
    // The first line names the port; the mail is destroyed before any connection is made.
    QObject::connect(mail, &Mail::TranscriptLine, [&first, mail](const QString& line) {
      first = line;
      delete mail;
    });
    EXPECT_FALSE(mail->Send());
    EXPECT_EQ(first, c.connecting);
  }
}

TEST_F(MailModernTest, MessageIdOnlyInTheModernMode) {
  static const QRegularExpression kId(
      "^ "
      "<[0-9a-f]{8}-[0-9a-f]{4}-[0-9a-f]{4}-[0-9a-f]{4}-[0-9a-f]{12}@(x\\.test|pigeon\\.invalid)>"
      "$");
  server_.implicit_tls = true;
  QByteArray ids[2];
  for (const char* from : {"k@x.test", "no-domain"}) {
    Mail mail;
    Prepare(mail, Security::kImplicitTls);
    mail.SetFromAddress(from);
    for (QByteArray& id : ids) {
      server_.received.clear();
      ASSERT_TRUE(mail.Send()) << mail.LastError().toStdString();
      id = HeaderOf(DataOf(server_.received), "Message-ID");
      EXPECT_TRUE(kId.match(QString::fromLatin1(id)).hasMatch()) << id.data();
      EXPECT_THAT(id.toStdString(), HasSubstr(from[0] == 'k' ? "@x.test>" : "@pigeon.invalid>"));
    }
    EXPECT_NE(ids[0], ids[1]);
  }
  ScriptedServer old_server;
  Mail old;
  Prepare(old, Security::kNone);
  old.SetHostname(old_server.Host());
  ASSERT_TRUE(old.Send());
  EXPECT_THAT(old_server.received.toStdString(), Not(HasSubstr("Message-ID")));
  EXPECT_THAT(old_server.received.toStdString(), StartsWith("HELO "));
  EXPECT_THAT(old_server.received.toStdString(), Not(HasSubstr("EHLO")));
}

TEST_F(MailModernTest, NonAsciiSubjectAndNamesAreEncodedWords) {
  const QString u = QString::fromUtf8("\xC3\xBC");  // two bytes in UTF-8
  struct Case {
    QString subject;
    int words;
  };
  const Case cases[] = {
      {QString::fromUtf8("Einsatz f\xC3\xBCr Unit 7"), 1},
      {u.repeated(22) + "a", 1},  // 45 bytes: exactly one word
      {u.repeated(23), 2},        // 46 bytes; byte 45 is inside a character
      {u.repeated(200), 10},      // 44 bytes a word
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.subject.toStdString());
    ScriptedServer server;
    Mail mail;
    Prepare(mail, Security::kNone);
    mail.SetHostname(server.Host());
    mail.SetSubject(c.subject);
    mail.SetFromName(
        QString::fromUtf8("Leitstelle S\xC3\xBC"
                          "d"));
    mail.ClearToAddresses();
    mail.AddToAddress(QString::fromUtf8("Z\xC3\xBCge"), "z@x.test");
    mail.AddToAddress("Plain", "p@x.test");
    ASSERT_TRUE(mail.Send()) << mail.LastError().toStdString();
    const QByteArray data = DataOf(server.received);
    const QByteArray subject = HeaderOf(data, "Subject");
    EXPECT_EQ(subject.count("=?UTF-8?B?"), c.words);
    EXPECT_EQ(DecodedWords(subject), c.subject);
    EXPECT_EQ(HeaderOf(data, "From").toStdString(), " " + QByteArray("Leitstelle S\xC3\xBC"
                                                                     "d")
                                                              .toBase64()
                                                              .prepend("=?UTF-8?B?")
                                                              .append("?= <k@x.test>")
                                                              .toStdString());
    EXPECT_EQ(HeaderOf(data, "To").toStdString(),
              " " + QByteArray("Z\xC3\xBCge")
                        .toBase64()
                        .prepend("=?UTF-8?B?")
                        .append("?= <z@x.test>, \"Plain\"<p@x.test>")
                        .toStdString());
  }
}

TEST_F(MailModernTest, SubjectTooLongForOneLineIsEncoded) {
  for (int length : {990, 991}) {  // "Subject:" and 990 bytes make the longest line allowed
    SCOPED_TRACE(length);
    ScriptedServer server;
    Mail mail;
    Prepare(mail, Security::kNone);
    mail.SetHostname(server.Host());
    mail.SetSubject(QString(length, 'S'));
    ASSERT_TRUE(mail.Send());
    const QByteArray subject = HeaderOf(DataOf(server.received), "Subject");
    if (length == 990) {
      EXPECT_EQ(subject, QByteArray(990, 'S'));
    } else {
      EXPECT_EQ(DecodedWords(subject), QString(991, 'S'));
    }
  }
}

TEST_F(MailModernTest, LongLinesAndNonAsciiBodiesAreQuotedPrintable) {
  const QString umlauts = QString::fromUtf8(
      "Gr\xC3\xBC\xC3\x9F"
      "e = 21\xC2\xB0"
      "C ");
  struct Case {
    const char* name;
    Security security;
    QString content_type;
    QString body;
    bool quoted;
    QByteArray type;  // the Content-Type header
  };
  const Case cases[] = {
      {"998 bytes", Security::kNone, "", QString(998, 'a') + "\n.b", false, ""},
      {"999 bytes", Security::kNone, "", QString(999, 'a') + "\n.b", true, " text/plain"},
      {"3000 characters", Security::kNone, "text/html", QString(3000, 'x') + "\r\n.end", true,
       " text/html"},
      {"non-ASCII, plain mode, no type", Security::kNone, "", umlauts, true,
       " text/plain; charset=utf-8"},
      {"non-ASCII, modern", Security::kImplicitTls, "text/plain", umlauts + "\n.x\n", true,
       " text/plain; charset=utf-8"},
      {"non-ASCII, declared charset kept", Security::kImplicitTls, "text/plain; charset=UTF-8",
       umlauts, true, " text/plain; charset=UTF-8"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ScriptedServer server;
    ASSERT_TRUE(server.UseCertificate(certificates_->server, certificates_->key));
    server.implicit_tls = c.security == Security::kImplicitTls;
    Mail mail;
    Prepare(mail, c.security);
    mail.SetHostname(server.Host());
    mail.SetContentType(c.content_type);
    mail.SetMessage(c.body);
    ASSERT_TRUE(mail.Send()) << mail.LastError().toStdString();
    const QByteArray data = DataOf(server.received);
    QByteArray body = BodyOf(data);
    for (const QByteArray& line : body.split('\n')) {
      EXPECT_LE(line.size(), c.quoted ? 77 : 1001);
      if (c.quoted) EXPECT_FALSE(line.endsWith(" \r") || line.endsWith("\t\r"));
    }
    body.replace("\r\n..", "\r\n.");  // dot-stuffing undone, as a server does
    QByteArray expected = c.body.toUtf8().replace("\r\n", "\n").replace('\n', "\r\n");
    if (c.quoted) {
      EXPECT_EQ(HeaderOf(data, "Content-Transfer-Encoding"), " quoted-printable");
      EXPECT_EQ(HeaderOf(data, "MIME-Version"), " 1.0");
      EXPECT_EQ(HeaderOf(data, "Content-Type"), c.type);
      EXPECT_TRUE(std::all_of(body.begin(), body.end(), [](char b) { return uchar(b) < 0x80; }));
      EXPECT_EQ(FromQuotedPrintable(body).toStdString(), expected.toStdString());
    } else {
      EXPECT_EQ(HeaderOf(data, "Content-Transfer-Encoding"), "");
      EXPECT_EQ(body.toStdString(), expected.toStdString());
    }
  }
}

TEST_F(MailModernTest, TimeoutIsKeptBeyondSixteenBits) {
  for (int timeout : {32767, 32768, 40000}) {
    SCOPED_TRACE(timeout);
    ScriptedServer server;
    server.replies[""] = "";  // keeps Send waiting for the greeting
    Mail mail;
    Prepare(mail, Security::kNone);
    mail.SetHostname(server.Host());
    mail.SetTimeout(timeout);
    int seen = -1;
    QTimer::singleShot(100, [&] {
      seen = MailTestPeer::EffectiveTimeout(mail);
      server.Drop();
    });
    EXPECT_FALSE(mail.Send());
    EXPECT_EQ(seen, timeout);
    EXPECT_EQ(mail.Timeout(), timeout);
    EXPECT_TRUE(mail.IsTemporaryFailure());
  }
}

// Runs `during` inside the application's own event loop, as the program does, and returns
// when both it and the loop are done. The loop ends at the latest when `during` returns.
void InApplicationLoop(const std::function<void()>& during) {
  QTimer::singleShot(0, [&] {
    during();
    QCoreApplication::quit();
  });
  QCoreApplication::exec();
}

TEST_F(MailModernTest, QuittingEndsTheSendAsATemporaryFailure) {
  // Quit while the greeting is awaited, then a further queued mail: both end at once.
  ScriptedServer silent;
  silent.replies[""] = "";
  bool sent[2] = {true, true};
  QString errors[2];
  bool temporary[2] = {false, false};
  InApplicationLoop([&] {
    Mail mail;
    Prepare(mail, Security::kNone);
    mail.SetHostname(silent.Host());
    mail.SetTimeout(30);
    QTimer::singleShot(100, [] { QCoreApplication::quit(); });
    for (int i = 0; i < 2; ++i) {
      sent[i] = mail.Send();
      errors[i] = mail.LastError();
      temporary[i] = mail.IsTemporaryFailure();
    }
  });
  for (int i = 0; i < 2; ++i) {
    EXPECT_FALSE(sent[i]) << i;
    EXPECT_EQ(errors[i], "the application is quitting") << i;
    EXPECT_TRUE(temporary[i]) << i;
  }

  // Quit while a command's reply is awaited: nothing more is sent, the mail stays undelivered.
  ScriptedServer server;
  server.script = [](const QByteArray& line) -> QByteArray {
    if (line.startsWith("MAIL")) QCoreApplication::quit();
    return {};
  };
  bool early = true;
  InApplicationLoop([&] {
    Mail mail;
    Prepare(mail, Security::kNone);
    mail.SetHostname(server.Host());
    early = mail.Send();
    EXPECT_TRUE(mail.IsTemporaryFailure());
  });
  EXPECT_FALSE(early);
  EXPECT_THAT(server.received.toStdString(), EndsWith("MAIL FROM: <k@x.test>\r\n"));

  // Quit just after the end of the data: the server's acceptance is still read, so the mail
  // counts as delivered and is not sent a second time.
  ScriptedServer accepting;
  accepting.script = [](const QByteArray& line) -> QByteArray {
    if (line == ".") QCoreApplication::quit();
    return {};
  };
  bool delivered = false;
  InApplicationLoop([&] {
    Mail mail;
    Prepare(mail, Security::kNone);
    mail.SetHostname(accepting.Host());
    delivered = mail.Send();
    EXPECT_EQ(mail.LastError(), "");
  });
  EXPECT_TRUE(delivered);
  EXPECT_THAT(accepting.received.toStdString(), Not(HasSubstr("QUIT")));

  // The application runs on afterwards.
  ScriptedServer later;
  Mail mail;
  Prepare(mail, Security::kNone);
  mail.SetHostname(later.Host());
  EXPECT_TRUE(mail.Send()) << mail.LastError().toStdString();
}

TEST(MailModernHelpTest, NewMembersPublishHelpTexts) {
  for (const char* member : {"Security", "Port", "UserName", "Password", "CAFile", "LastError",
                             "LastReplyCode", "IsTemporaryFailure"}) {
    EXPECT_NE(Mail::HelpText(member), "") << member;
  }
  EXPECT_THAT(Mail::HelpText("Port").toStdString(), HasSubstr("587"));
}

}  // namespace
}  // namespace pigeon
