// A recording whose messages match an e-mail rule, replayed with the profile's SMTP server set
// to a real server on loopback: the mails that arrive are the ones the rule composes.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <fstream>
#include <string>
#include <vector>

#include "app/display/mdt_text.h"
#include "app/mail/email_class.h"
#include "support/run_program.h"
#include "support/smtp_sink.h"

namespace {

using kestrel_test::RunResult;
using ::testing::SizeIs;

struct Expected {
  std::string subject;
  std::string body;
};

// The mails the rule below makes of one message text: wrapped at 40 columns, split at 60.
std::vector<Expected> MailsFor(const std::string& text) {
  const std::string body = kestrel::WrapLines(kestrel::FormatData(text), 40);
  const std::string subject = "Fire " + kestrel::EMailClass::CollapseSpaces(body).substr(0, 80);
  std::vector<Expected> mails;
  for (size_t at = 0, part = 1; at < body.size(); at += 60, ++part) {
    mails.push_back({part == 1 ? subject : subject + " (Part " + std::to_string(part) + ")",
                     body.substr(at, 60)});
  }
  return mails;
}

class MailEndToEndTest : public ::testing::Test {
 protected:
  void SetUp() override {
    static int argc = 1;
    static char name[] = "mail_end_to_end_test";
    static char* argv[] = {name, nullptr};
    if (QCoreApplication::instance() == nullptr) new QCoreApplication(argc, argv);
    if (const QString why = kestrel_test::SmtpSink::Unavailable(); !why.isEmpty()) {
      GTEST_SKIP() << why.toStdString();
    }
    ASSERT_TRUE(sink_.Start(SMTP_SINK_SCRIPT)) << sink_.Errors().toStdString();
    ASSERT_TRUE(dir_.isValid());
  }

  std::string Write(const std::string& name, const std::string& text) {
    const std::string path = dir_.filePath(QString::fromStdString(name)).toStdString();
    std::ofstream(path, std::ios::binary) << text;
    return path;
  }
  RunResult Run(const char* program, std::vector<std::string> args) {
    return kestrel_test::RunProgram(program, std::move(args), dir_.path().toStdString());
  }

  kestrel_test::SmtpSink sink_;
  QTemporaryDir dir_;
};

TEST_F(MailEndToEndTest, RuleMailsReachTheServerFilledAndSplit) {
  const std::string first = "STRUCTURE FIRE AT 400 MAIN ST\rENGINE 9 RESPOND";
  const std::string second =
      "SECOND FIRE CALL\rALL UNITS STAND BY FOR FURTHER INFO FROM COMMAND, STAGING AT 5TH AVE "
      "AND PINE";
  const std::string messages =
      Write("messages.txt",
            "1207 STRUCTURE FIRE AT 400 MAIN ST\\rENGINE 9 RESPOND\n"
            "2158 ROUTINE TRAFFIC STOP\n"
            "3090 SECOND FIRE CALL\\rALL UNITS STAND BY FOR FURTHER INFO FROM COMMAND, "
            "STAGING AT 5TH AVE AND PINE\n");
  const std::string recording = dir_.filePath("fire.wav").toStdString();
  RunResult made =
      Run(MDCGEN_PATH, {"--messages", messages, "-o", recording, "--snr", "18", "--seed", "7"});
  ASSERT_EQ(made.status, 0) << made.err;

  const std::string profile =
      Write("p.ini",
            "[Settings]\r\nVersion=1.6.1\r\nSMTPMailServer=" + sink_.Host().toStdString() + "\r\n");
  Write("pRules.ini",
        "[Rules]\r\nRules=1\r\nName1=Fire mail\r\nActive1=True\r\nMessageBody1=*FIRE*\r\n"
        "EMailMessages1=True\r\nEMailMessageFromName1=Kestrel\r\n"
        "EMailMessageFromAddress1=kestrel@example.test\r\n"
        "EMailMessageToAddress1=duty@example.test\r\nEMailMessageSubject1=Fire %T\r\n"
        "EMailMessageVerb1=with\r\nEMailMessageOccurence1=1\r\nEMailMessageCharacter1=character\r\n"
        "EMailMessageSplit1=True\r\nEMailMessageSplitChars1=60\r\n");
  const RunResult replay =
      Run(KESTREL_REPLAY_PATH, {"--profile", profile, "--now", "2026-12-08 10:00:00", recording});
  ASSERT_EQ(replay.status, 0) << replay.err;

  std::vector<Expected> expected = MailsFor(first);
  for (const Expected& mail : MailsFor(second)) expected.push_back(mail);
  ASSERT_THAT(expected, SizeIs(3));
  ASSERT_EQ(sink_.Count(), 3) << replay.out;
  for (int n = 1; n <= 3; ++n) {
    const Expected& want = expected[size_t(n - 1)];
    EXPECT_EQ(sink_.Stored(n, ".from").toStdString(), "kestrel@example.test");
    EXPECT_EQ(sink_.Stored(n, ".rcpt").toStdString(), "duty@example.test\n");
    const std::string content = sink_.Stored(n, ".eml").toStdString();
    const size_t end_of_headers = content.find("\r\n\r\n");
    ASSERT_NE(end_of_headers, std::string::npos) << content;
    const std::string headers = content.substr(0, end_of_headers + 2);
    EXPECT_NE(headers.find("\r\nSubject:" + want.subject + "\r\n"), std::string::npos) << headers;
    EXPECT_NE(headers.find("From: Kestrel<kestrel@example.test>\r\n"), std::string::npos)
        << headers;
    // The control ends the text with a line end of its own before the closing dot line.
    EXPECT_EQ(content.substr(end_of_headers + 4), want.body + "\r\n\r\n") << n;
  }
}

}  // namespace
