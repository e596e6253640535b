#include "pigeon/mail.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QHostInfo>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>
#include <functional>
#include <map>
#include <memory>

#include "mailcontrol/mail_test_support.h"
#include "mailcontrol/scripted_server.h"

namespace pigeon {

class MailTestPeer {
 public:
  static int EffectiveTimeout(const Mail& mail) { return mail.EffectiveTimeout(); }
  static qsizetype PendingReplyBytes(const Mail& mail) { return mail.PendingReplyBytes(); }
  static qsizetype CcCapacity(const Mail& mail) { return mail.cc_.names.size(); }
};

namespace {

using ::pigeon_test::ScriptedServer;
using ::pigeon_test::WithDateChecked;
using ::testing::EndsWith;
using ::testing::HasSubstr;
using ::testing::Not;

struct Outcome {
  bool sent;
  qint64 ms;
};

Outcome TimedSend(Mail& mail) {
  QElapsedTimer clock;
  clock.start();
  const bool sent = mail.Send();
  return {sent, clock.elapsed()};
}

class MailTest : public ::testing::Test {
 protected:
  void SetUp() override { pigeon_test::EnsureCoreApplication(); }

  // Everything but the recipients, aimed at `server`.
  static void Prepare(Mail& mail, const ScriptedServer& server) {
    mail.SetHostname(server.Host());
    mail.SetFromName("Kestrel");
    mail.SetFromAddress("k@x.test");
    mail.SetSubject("Alert 1");
    mail.SetMessage("line one\r\nline two");
  }
};

TEST_F(MailTest, FullConversationIsSentByteForByte) {
  const QByteArray helo = "HELO " + QHostInfo::localHostName().toUtf8() + "\r\n";
  struct Case {
    QString content_type;
    bool with_cc;
    QByteArray headers_after_to;
  };
  const Case cases[] = {
      {"text/html", true,
       "Cc: \"Gamma\"<c@x.test>\r\nSubject:Alert 1\r\nMIME-Version: 1.0\r\n"
       "Content-Type: text/html\r\n"},
      {"", false, "Cc: \r\nSubject:Alert 1\r\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.content_type.toStdString());
    ScriptedServer server;
    Mail mail;
    Prepare(mail, server);
    mail.SetContentType(c.content_type);
    mail.AddToAddress("Alpha", "a@x.test");
    mail.AddToAddress("", "b@x.test");
    if (c.with_cc) mail.AddCcAddress("Gamma", "c@x.test");
    mail.AddBccAddress("Hidden", "d@x.test");

    EXPECT_TRUE(mail.Send());
    const QByteArray expected = helo +
                                "MAIL FROM: <k@x.test>\r\n"
                                "RCPT TO: <a@x.test>\r\nRCPT TO: <b@x.test>\r\n" +
                                (c.with_cc ? "RCPT TO: <c@x.test>\r\n" : "") +
                                "RCPT TO: <d@x.test>\r\n"
                                "DATA\r\n"
                                "From: Kestrel<k@x.test>\r\n"
                                "Date: <date>\r\n"
                                "To: \"Alpha\"<a@x.test>, \"\"<b@x.test>\r\n" +
                                c.headers_after_to +
                                "\r\n"
                                "line one\r\nline two\r\n"
                                "\r\n.\r\n"
                                "QUIT\r\n";
    EXPECT_EQ(WithDateChecked(server.received).toStdString(), expected.toStdString());
  }
}

TEST_F(MailTest, RefusesWithoutConnectingWhenHostOrRecipientsAreMissing) {
  ScriptedServer server;
  Mail mail;
  Prepare(mail, server);
  EXPECT_FALSE(mail.Send()) << "no recipients";
  mail.AddBccAddress("", "a@x.test");
  mail.ClearBccAddresses();
  EXPECT_FALSE(mail.Send()) << "list cleared";
  mail.AddToAddress("", "a@x.test");
  const QString port = QString::number(server.Port());
  for (const QString& host :
       QStringList{"", "  ", "127.0.0.1:", "127.0.0.1:0", "127.0.0.1:70000", "127.0.0.1:x" + port,
                   "[::1", "[::1]" + port, ":" + port}) {
    mail.SetHostname(host);
    const Outcome outcome = TimedSend(mail);
    EXPECT_FALSE(outcome.sent) << host.toStdString();
    EXPECT_LT(outcome.ms, 500) << host.toStdString();
  }
  // A good send afterwards dispatches events, so a stray connection would be counted.
  mail.SetHostname(server.Host());
  EXPECT_TRUE(mail.Send());
  EXPECT_EQ(server.connections, 1);
}

TEST_F(MailTest, RejectedRecipientSkipsDataButStillQuits) {
  ScriptedServer server;
  server.replies["RCPT"] = "550 no such user\r\n";
  Mail mail;
  Prepare(mail, server);
  mail.AddToAddress("", "a@x.test");
  mail.AddCcAddress("", "c@x.test");
  mail.SetTimeout(1);

  const Outcome outcome = TimedSend(mail);
  EXPECT_FALSE(outcome.sent);
  // A wrong code counts as no reply: one timeout of 1 s, ending on the next second boundary.
  EXPECT_GE(outcome.ms, 1000);
  EXPECT_LT(outcome.ms, 3500);
  EXPECT_THAT(server.received.toStdString(), Not(HasSubstr("DATA")));
  EXPECT_THAT(server.received.toStdString(), Not(HasSubstr("c@x.test")));
  EXPECT_THAT(server.received.toStdString(), EndsWith("RCPT TO: <a@x.test>\r\nQUIT\r\n"));
}

TEST_F(MailTest, TimeoutNotPositiveMeansThirtySeconds) {
  for (int timeout : {0, -5, 5}) {
    SCOPED_TRACE(timeout);
    ScriptedServer server;
    server.replies[""] = "";  // keeps Send waiting for the greeting
    Mail mail;
    Prepare(mail, server);
    mail.AddToAddress("", "a@x.test");
    mail.SetTimeout(timeout);
    int seen = -1;
    QTimer::singleShot(100, [&] {
      seen = MailTestPeer::EffectiveTimeout(mail);
      server.Drop();
    });
    const Outcome outcome = TimedSend(mail);
    EXPECT_EQ(seen, timeout > 0 ? timeout : 30);
    EXPECT_FALSE(outcome.sent);
    EXPECT_LT(outcome.ms, 1000);
    EXPECT_EQ(mail.Timeout(), timeout);
  }
}

TEST_F(MailTest, DroppedConnectionEndsTheSendPromptly) {
  // Once the server has taken the message, a lost QUIT no longer makes it a failure.
  const std::pair<QByteArray, bool> cases[] = {
      {"HELO", false}, {"MAIL", false}, {"DATA", false}, {".", false}, {"QUIT", true}};
  for (const auto& [drop_at, delivered] : cases) {
    SCOPED_TRACE(drop_at.toStdString());
    ScriptedServer server;
    server.drop_at = drop_at;
    Mail mail;
    Prepare(mail, server);
    mail.AddToAddress("", "a@x.test");
    const Outcome outcome = TimedSend(mail);
    EXPECT_EQ(outcome.sent, delivered);
    EXPECT_LT(outcome.ms, 1000);
  }
  QTcpServer probe;  // a port that nobody listens on
  ASSERT_TRUE(probe.listen(QHostAddress::LocalHost, 0));
  const quint16 port = probe.serverPort();
  probe.close();
  Mail mail;
  mail.SetHostname("127.0.0.1:" + QString::number(port));
  mail.AddToAddress("", "a@x.test");
  const Outcome refused = TimedSend(mail);
  EXPECT_FALSE(refused.sent);
  EXPECT_LT(refused.ms, 1000);
}

TEST_F(MailTest, MultiLineAndSplitRepliesAreAssembled) {
  ScriptedServer server;
  server.replies[""] = "220-mail.x.test\r\n220-welcome\r\n220 ready\r\n";
  server.replies["HELO"] = "250-mail.x.test\r\n250-SIZE 1000\r\n250 HELP\n";
  server.replies["MAIL"] = "250\r\n";
  server.piece_size = 3;
  Mail mail;
  Prepare(mail, server);
  mail.AddToAddress("", "a@x.test");
  EXPECT_TRUE(mail.Send());
  EXPECT_THAT(server.received.toStdString(), EndsWith("\r\n.\r\nQUIT\r\n"));
}

TEST_F(MailTest, BodyIsDotStuffedWithCrLfLineEnds) {
  ScriptedServer server;
  Mail mail;
  Prepare(mail, server);
  mail.AddToAddress("", "a@x.test");
  mail.SetContentType("text/plain");
  mail.SetMessage(QString::fromUtf8(".start\nmid\r.dot\r\n..two\n\nend.\xC3\xA9"));
  EXPECT_TRUE(mail.Send());

  const std::string received = server.received.toStdString();
  EXPECT_THAT(received, HasSubstr("Content-Type: text/plain; charset=utf-8\r\n\r\n"
                                  "..start\r\nmid\r\n..dot\r\n...two\r\n\r\nend.\xC3\xA9\r\n"
                                  "\r\n.\r\nQUIT\r\n"));
  EXPECT_EQ(server.received.indexOf("\r\n.\r\n"), server.received.size() - 11);
  for (qsizetype i = 0; i < server.received.size(); ++i) {
    if (server.received[i] == '\r') {
      EXPECT_EQ(server.received[i + 1], '\n') << i;
    } else if (server.received[i] == '\n') {
      EXPECT_EQ(server.received[i - 1], '\r') << i;
    }
  }
}

TEST_F(MailTest, LineBreaksInPropertiesCannotAddCommandsOrHeaders) {
  ScriptedServer server;
  Mail mail;
  Prepare(mail, server);
  mail.SetSubject("x\r\nBcc: e@x.test");
  mail.SetFromName("K\nX-Evil: 1");
  mail.AddToAddress("A\r\n", "a@x.test>\r\nRSET");
  EXPECT_TRUE(mail.Send());
  const std::string received = server.received.toStdString();
  EXPECT_THAT(received, HasSubstr("RCPT TO: <a@x.test>  RSET>\r\n"));
  EXPECT_THAT(received, HasSubstr("From: K X-Evil: 1<k@x.test>\r\n"));
  EXPECT_THAT(received, HasSubstr("To: \"A  \"<a@x.test>  RSET>\r\n"));
  EXPECT_THAT(received, HasSubstr("Subject:x  Bcc: e@x.test\r\n"));
}

TEST_F(MailTest, EventsRunDuringSendAndASecondSendIsRefused) {
  ScriptedServer server;
  server.delay_ms = 100;
  Mail mail;
  Prepare(mail, server);
  mail.AddToAddress("", "a@x.test");
  int ticks = 0;
  bool nested = true;
  QTimer timer;
  QObject::connect(&timer, &QTimer::timeout, [&] {
    if (ticks++ == 0) nested = mail.Send();
  });
  timer.start(10);
  EXPECT_TRUE(mail.Send());
  EXPECT_GT(ticks, 5);
  EXPECT_FALSE(nested);
  EXPECT_EQ(server.connections, 1);
}

TEST_F(MailTest, RecipientListsGrowByTenAndClearingForgetsEntries) {
  ScriptedServer server;
  Mail mail;
  Prepare(mail, server);
  QByteArray header = "Cc: ";
  for (int i = 1; i <= 11; ++i) {
    const QString address = QString("c%1@x.test").arg(i);
    mail.AddCcAddress(QString("C%1").arg(i), address);
    header += (i > 1 ? ", \"C" : "\"C") + QByteArray::number(i) + "\"<" + address.toUtf8() + ">";
  }
  EXPECT_EQ(MailTestPeer::CcCapacity(mail), 20);
  EXPECT_TRUE(mail.Send());
  EXPECT_THAT(server.received.toStdString(), HasSubstr("To: \r\n" + header + "\r\n"));
  EXPECT_THAT(server.received.toStdString(),
              HasSubstr("RCPT TO: <c10@x.test>\r\nRCPT TO: <c11@x.test>\r\nDATA\r\n"));

  server.received.clear();
  mail.ClearCcAddresses();
  mail.AddCcAddress("", "only@x.test");
  EXPECT_TRUE(mail.Send());
  EXPECT_EQ(MailTestPeer::CcCapacity(mail), 20);
  EXPECT_THAT(server.received.toStdString(), Not(HasSubstr("c2@x.test")));
  EXPECT_THAT(server.received.toStdString(), HasSubstr("Cc: \"\"<only@x.test>\r\n"));
}

TEST_F(MailTest, EndlessReplyWithoutLineEndKeepsMemoryBounded) {
  ScriptedServer server;
  server.replies.clear();
  constexpr qint64 kTotal = 64 << 20;
  auto sent = std::make_shared<qint64>(0);
  server.greet = [sent](QTcpSocket& socket) {
    // A first piece below the limit, held long enough to be seen, then a flood.
    socket.write(QByteArray(48 << 10, 'x'));
    QTimer::singleShot(100, &socket, [&socket, sent] {
      auto pump = [&socket, sent] {
        while (*sent < kTotal && socket.bytesToWrite() < (256 << 10)) {
          socket.write(QByteArray(64 << 10, 'x'));
          *sent += 64 << 10;
        }
      };
      QObject::connect(&socket, &QTcpSocket::bytesWritten, &socket, pump);
      pump();
    });
  };
  Mail mail;
  Prepare(mail, server);
  mail.AddToAddress("", "a@x.test");
  mail.SetTimeout(1);
  qsizetype most = 0;
  QTimer sampler;
  QObject::connect(&sampler, &QTimer::timeout,
                   [&] { most = std::max(most, MailTestPeer::PendingReplyBytes(mail)); });
  sampler.start(1);
  const Outcome outcome = TimedSend(mail);
  EXPECT_FALSE(outcome.sent);
  EXPECT_LT(outcome.ms, 4000);
  EXPECT_GT(*sent, 4 << 20);
  EXPECT_GE(most, 48 << 10);
  EXPECT_LE(most, 64 << 10);
}

TEST_F(MailTest, DestroyingTheMailDuringItsSendEndsIt) {
  ScriptedServer server;
  server.replies[""] = "";
  auto* mail = new Mail;
  Prepare(*mail, server);
  mail->AddToAddress("", "a@x.test");
  QTimer::singleShot(50, [mail] { delete mail; });
  const Outcome outcome = TimedSend(*mail);
  EXPECT_FALSE(outcome.sent);
  EXPECT_LT(outcome.ms, 1000);
}

TEST_F(MailTest, HostMayBeABracketedIpv6Address) {
  ScriptedServer server(QHostAddress::LocalHostIPv6);
  if (!server.listening) GTEST_SKIP() << "no IPv6 loopback";
  Mail mail;
  Prepare(mail, server);
  mail.SetHostname("[::1]:" + QString::number(server.Port()));
  mail.AddToAddress("", "a@x.test");
  EXPECT_TRUE(mail.Send());
}

TEST(MailHelpTest, PublishesTheTabledTexts) {
  EXPECT_STREQ(Mail::kDescription, "Pigeon SMTP Mail Control");
  EXPECT_EQ(Mail::HelpText("Send"),
            "Call this function to send mail.  Returns True if successful, False if send fails.");
  EXPECT_EQ(Mail::HelpText("Timeout"),
            "Set this property to the maximum amount of time (in seconds) the control should wait "
            "for a response from the server.  The default is 30 seconds.");
  EXPECT_EQ(Mail::HelpText("AddBccAddress"),
            "Call this function to add addresses to the list of addresses to which blind carbon "
            "copies of the message should be sent.");
  for (const char* member : {"Send", "Hostname", "FromAddress", "Subject", "Message", "FromName",
                             "Timeout", "AddToAddress", "ClearToAddresses", "AddCcAddress",
                             "ClearCcAddresses", "AddBccAddress", "ClearBccAddresses"}) {
    EXPECT_NE(Mail::HelpText(member), "") << member;
  }
  EXPECT_EQ(Mail::HelpText("ContentType"), "");
  EXPECT_EQ(Mail::HelpText("Nothing"), "");
}

}  // namespace
}  // namespace pigeon
