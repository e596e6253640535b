// Pigeon against a real SMTP server (aiosmtpd) on loopback with TLS and login, using a
// certificate authority and server certificates the test makes with openssl.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QHostInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <string>
#include <vector>

#include "mailcontrol/mail_test_support.h"
#include "mailcontrol/test_certificates.h"
#include "pigeon/mail.h"
#include "support/smtp_sink.h"

namespace {

using ::pigeon::Mail;
using ::pigeon_test::TestCertificates;
using ::testing::AllOf;
using ::testing::Contains;
using ::testing::EndsWith;
using ::testing::HasSubstr;
using ::testing::Not;
using ::testing::StartsWith;
using Security = Mail::SecurityMode;

constexpr char kUser[] = "duty";
constexpr char kPassword[] = "Pa55-w0rd-\xC3\xA4";

class MailTlsTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    pigeon_test::EnsureCoreApplication();
    certificates_ = new TestCertificates;
    made_ = TestCertificates::Unavailable().isEmpty() && certificates_->Make();
  }
  static void TearDownTestSuite() { delete certificates_; }

  void SetUp() override {
    if (const QString why = kestrel_test::SmtpSink::Unavailable(); !why.isEmpty()) {
      GTEST_SKIP() << why.toStdString();
    }
    if (!made_) GTEST_SKIP() << "no test certificates: " << certificates_->Errors().toStdString();
  }

  // mode: "starttls", "implicit" or "plain" (no STARTTLS offered).
  void StartServer(const char* mode, const QString& certificate,
                   const QString& mechanisms = "LOGIN,PLAIN") {
    ASSERT_TRUE(sink_.Start(MAIL_TLS_SERVER_SCRIPT, {mode, certificate, certificates_->key, kUser,
                                                     QString::fromUtf8(kPassword), mechanisms}))
        << sink_.Errors().toStdString();
  }

  // A mail to the server that trusts the test authority, with its transcript recorded.
  void Prepare(Mail& mail, Security security) {
    mail.SetHostname(sink_.Host());
    mail.SetSecurity(security);
    mail.SetCAFile(certificates_->ca);
    mail.SetUserName(kUser);
    mail.SetPassword(QString::fromUtf8(kPassword));
    mail.SetTimeout(5);
    mail.SetFromName("Kestrel");
    mail.SetFromAddress("kestrel@x.test");
    mail.AddToAddress("Ops", "ops@x.test");
    mail.SetSubject("Unit 1234: status");
    mail.SetContentType("text/plain");
    mail.SetMessage("first line\r\n.dot line\r\nlast line");
    QObject::connect(&mail, &Mail::TranscriptLine,
                     [this](const QString& line) { transcript_.push_back(line.toStdString()); });
  }

  QJsonObject Parsed(int n) const {
    return QJsonDocument::fromJson(sink_.Stored(n, ".json")).object();
  }
  QByteArray Clear() const { return sink_.Stored(0, ".clear"); }
  static QByteArray Ehlo() { return "EHLO " + QHostInfo::localHostName().toUtf8() + "\r\n"; }

  void ExpectNoSecretsInTranscript() const {
    const std::string secret = kPassword;
    for (const std::string& line : transcript_) {
      EXPECT_THAT(line, Not(HasSubstr(secret)));
      EXPECT_THAT(line, Not(HasSubstr(QByteArray(kPassword).toBase64().toStdString())));
    }
  }

  static inline TestCertificates* certificates_ = nullptr;
  static inline bool made_ = false;
  kestrel_test::SmtpSink sink_;
  std::vector<std::string> transcript_;
};

TEST_F(MailTlsTest, StartTlsWithAuthPlainDeliversTheExactMessage) {
  StartServer("starttls", certificates_->server);
  Mail mail;
  Prepare(mail, Security::kStartTls);
  ASSERT_TRUE(mail.Send()) << mail.LastError().toStdString();
  EXPECT_EQ(mail.LastError(), "");
  EXPECT_EQ(mail.LastReplyCode(), 0);

  EXPECT_EQ(Clear().toStdString(), (Ehlo() + "STARTTLS\r\n").toStdString());
  const QJsonObject parsed = Parsed(1);
  EXPECT_EQ(parsed["tls"], true);
  EXPECT_EQ(parsed["login"], "PLAIN duty");
  EXPECT_EQ(parsed["mail_from"], "kestrel@x.test");
  EXPECT_EQ(parsed["rcpt_tos"].toVariant().toStringList(), QStringList{"ops@x.test"});

  static const QRegularExpression kId("\r\nMessage-ID: <[0-9a-f-]{36}@x\\.test>\r\n");
  QByteArray eml = pigeon_test::WithDateChecked(sink_.Stored(1, ".eml"));
  const QString id = kId.match(QString::fromLatin1(eml)).captured(0);
  ASSERT_FALSE(id.isEmpty()) << eml.toStdString();
  eml.replace(id.toLatin1(), "\r\nMessage-ID: <id>\r\n");
  EXPECT_EQ(eml.toStdString(),
            "From: Kestrel<kestrel@x.test>\r\n"
            "Date: <date>\r\n"
            "Message-ID: <id>\r\n"
            "To: \"Ops\"<ops@x.test>\r\n"
            "Cc: \r\n"
            "Subject:Unit 1234: status\r\n"
            "MIME-Version: 1.0\r\n"
            "Content-Type: text/plain\r\n"
            "\r\n"
            "first line\r\n.dot line\r\nlast line\r\n"
            "\r\n");
  EXPECT_THAT(transcript_, Contains("C: AUTH PLAIN ****"));
  EXPECT_THAT(transcript_, Contains("S: 235 2.7.0 Authentication successful"));
  EXPECT_THAT(transcript_, Contains(AllOf(StartsWith("TLS: encrypted with TLSv1."),
                                          EndsWith("certificate verified for 127.0.0.1"))));
  ExpectNoSecretsInTranscript();
}

TEST_F(MailTlsTest, ImplicitTlsWithAuthLogin) {
  StartServer("implicit", certificates_->server, "LOGIN");
  Mail mail;
  Prepare(mail, Security::kImplicitTls);
  ASSERT_TRUE(mail.Send()) << mail.LastError().toStdString();
  EXPECT_EQ(Clear(), "");
  const QJsonObject parsed = Parsed(1);
  EXPECT_EQ(parsed["tls"], true);
  EXPECT_EQ(parsed["login"], "LOGIN duty");
  EXPECT_EQ(parsed["subject"], "Unit 1234: status");
  EXPECT_EQ(parsed["from"], "Kestrel <kestrel@x.test>");
  EXPECT_EQ(parsed["to"], "Ops <ops@x.test>");
  EXPECT_EQ(parsed["body"], "first line\r\n.dot line\r\nlast line\r\n\r\n");
  EXPECT_THAT(transcript_, Contains("C: AUTH LOGIN"));
  EXPECT_EQ(std::count(transcript_.begin(), transcript_.end(), "C: ****"), 2);
  ExpectNoSecretsInTranscript();
}

TEST_F(MailTlsTest, WrongPasswordIsAPermanentRefusalWithItsReason) {
  StartServer("starttls", certificates_->server);
  Mail mail;
  Prepare(mail, Security::kStartTls);
  mail.SetPassword("not the password");
  EXPECT_FALSE(mail.Send());
  EXPECT_EQ(mail.LastReplyCode(), 535);
  EXPECT_FALSE(mail.IsTemporaryFailure());
  EXPECT_THAT(mail.LastError().toStdString(), HasSubstr("535 "));
  EXPECT_EQ(sink_.Count(), 0);
}

TEST_F(MailTlsTest, CertificateForAnotherHostIsRefused) {
  StartServer("starttls", certificates_->other);
  Mail mail;
  Prepare(mail, Security::kStartTls);
  EXPECT_FALSE(mail.Send());
  EXPECT_EQ(mail.LastReplyCode(), 0);
  EXPECT_FALSE(mail.IsTemporaryFailure());
  EXPECT_THAT(mail.LastError().toStdString(), HasSubstr("host name"));
  EXPECT_EQ(Clear().toStdString(), (Ehlo() + "STARTTLS\r\n").toStdString());
  EXPECT_EQ(sink_.Count(), 0);
}

TEST_F(MailTlsTest, ServerWithoutStartTlsGetsNothingInClearText) {
  StartServer("plain", certificates_->server);
  Mail mail;
  Prepare(mail, Security::kStartTls);
  EXPECT_FALSE(mail.Send());
  EXPECT_FALSE(mail.IsTemporaryFailure());
  EXPECT_THAT(mail.LastError().toStdString(), HasSubstr("does not offer STARTTLS"));
  EXPECT_EQ(Clear().toStdString(), Ehlo().toStdString());
  EXPECT_EQ(sink_.Count(), 0);
}

TEST_F(MailTlsTest, NonAsciiTextAndLongLinesAreDecodedExactly) {
  StartServer("implicit", certificates_->server);
  const QString subject = QString::fromUtf8(
      "Einsatz f\xC3\xBCr \xC3\x9Cnit 7 \xE2\x80\x94 Stra\xC3\x9F"
      "e, a subject long enough to need more than one encoded word");
  const QString digits = QString("0123456789").repeated(300);
  struct Case {
    const char* name;
    QString content_type;
    QString body;
    QString expected;
  };
  const Case cases[] = {
      {"non-ASCII", "text/plain",
       QString::fromUtf8("Gr\xC3\xBC\xC3\x9F"
                         "e = 21\xC2\xB0"
                         "C \n.Punkt\nEnde \xE2\x82\xAC"),
       QString::fromUtf8("Gr\xC3\xBC\xC3\x9F"
                         "e = 21\xC2\xB0"
                         "C \r\n.Punkt\r\nEnde \xE2\x82\xAC\r\n\r\n")},
      {"3000 characters", "", digits + "\r\nnext", digits + "\r\nnext\r\n\r\n"},
  };
  int n = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Mail mail;
    Prepare(mail, Security::kImplicitTls);
    mail.SetSubject(subject);
    mail.SetFromName(
        QString::fromUtf8("Leitstelle S\xC3\xBC"
                          "d"));
    mail.ClearToAddresses();
    mail.AddToAddress(QString::fromUtf8("Z\xC3\xB6"
                                        "e"),
                      "z@x.test");
    mail.SetContentType(c.content_type);
    mail.SetMessage(c.body);
    ASSERT_TRUE(mail.Send()) << mail.LastError().toStdString();
    const QJsonObject parsed = Parsed(++n);
    EXPECT_EQ(parsed["subject"].toString(), subject);
    EXPECT_EQ(parsed["from"].toString(), QString::fromUtf8("Leitstelle S\xC3\xBC"
                                                           "d <kestrel@x.test>"));
    EXPECT_EQ(parsed["to"].toString(), QString::fromUtf8("Z\xC3\xB6"
                                                         "e <z@x.test>"));
    EXPECT_EQ(parsed["content_type"], "text/plain");
    // ASCII needs no declared character set.
    EXPECT_EQ(parsed["charset"], c.body.toUtf8() == c.body.toLatin1() ? QJsonValue() : "utf-8");
    EXPECT_EQ(parsed["body"].toString(), c.expected);
  }
}

}  // namespace
