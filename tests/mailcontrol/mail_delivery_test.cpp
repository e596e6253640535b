#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "mailcontrol/mail_test_support.h"
#include "pigeon/mail.h"
#include "support/smtp_sink.h"

namespace {

using ::pigeon::Mail;
using ::pigeon_test::WithDateChecked;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::Not;

QList<QByteArray> Lines(const QByteArray& text) {
  QList<QByteArray> lines = text.split('\n');
  if (!lines.isEmpty() && lines.back().isEmpty()) lines.pop_back();
  return lines;
}

class MailDeliveryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    pigeon_test::EnsureCoreApplication();
    if (const QString why = kestrel_test::SmtpSink::Unavailable(); !why.isEmpty()) {
      GTEST_SKIP() << why.toStdString();
    }
    ASSERT_TRUE(sink_.Start(SMTP_SINK_SCRIPT)) << sink_.Errors().toStdString();
  }

  QString Host() const { return sink_.Host(); }
  QByteArray Stored(int n, const char* part) const { return sink_.Stored(n, part); }

  kestrel_test::SmtpSink sink_;
};

TEST_F(MailDeliveryTest, MessageArrivesIntact) {
  Mail mail;
  mail.SetHostname(Host());
  mail.SetFromName("Kestrel");
  mail.SetFromAddress("kestrel@x.test");
  mail.SetSubject("Unit 1234: status");
  mail.SetContentType("text/plain");
  // Lines that start with "." (one alone would end the data) and bare line ends.
  mail.SetMessage(".leading dot\r\n..two dots\n.\rlast line");
  mail.AddToAddress("Ops", "ops@x.test");
  mail.AddToAddress("", "two@x.test");
  mail.AddCcAddress("Watch", "watch@x.test");
  mail.AddBccAddress("Hidden", "hidden@x.test");
  ASSERT_TRUE(mail.Send());

  EXPECT_EQ(Stored(1, ".from"), "kestrel@x.test");
  EXPECT_THAT(Lines(Stored(1, ".rcpt")),
              ElementsAre("ops@x.test", "two@x.test", "watch@x.test", "hidden@x.test"));
  EXPECT_EQ(WithDateChecked(Stored(1, ".eml")).toStdString(),
            "From: Kestrel<kestrel@x.test>\r\n"
            "Date: <date>\r\n"
            "To: \"Ops\"<ops@x.test>, \"\"<two@x.test>\r\n"
            "Cc: \"Watch\"<watch@x.test>\r\n"
            "Subject:Unit 1234: status\r\n"
            "MIME-Version: 1.0\r\n"
            "Content-Type: text/plain\r\n"
            "\r\n"
            ".leading dot\r\n..two dots\r\n.\r\nlast line\r\n"
            "\r\n");
}

TEST_F(MailDeliveryTest, OneMailObjectSendsSeveralMessages) {
  Mail mail;
  mail.SetHostname(Host());
  mail.SetFromAddress("kestrel@x.test");
  mail.SetContentType("text/html");
  for (int n = 1; n <= 2; ++n) {
    mail.ClearToAddresses();
    mail.AddToAddress("", QString("ops%1@x.test").arg(n));
    mail.SetSubject(QString("Alert %1").arg(n));
    mail.SetMessage(
        QString::fromUtf8("<PRE>21\xC2\xB0"
                          "C</PRE>"));
    ASSERT_TRUE(mail.Send()) << n;
  }
  EXPECT_THAT(Lines(Stored(2, ".rcpt")), ElementsAre("ops2@x.test"));
  const std::string second = Stored(2, ".eml").toStdString();
  EXPECT_THAT(second, HasSubstr("\r\nSubject:Alert 2\r\n"));
  EXPECT_THAT(second, Not(HasSubstr("ops1@x.test")));
  EXPECT_THAT(second, HasSubstr("Content-Type: text/html; charset=utf-8\r\n\r\n"
                                "<PRE>21\xC2\xB0"
                                "C</PRE>\r\n\r\n"));
}

}  // namespace
