#include "app/mail/pigeon_mail_control.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace kestrel {
namespace {

TEST(PigeonMailControlTest, BytesCrossAsUtf8OrElseLatin1) {
  EXPECT_EQ(TextFromBytes("plain"), QString("plain"));
  EXPECT_EQ(TextFromBytes("21\xC2\xB0"
                          "C"),
            QString::fromUtf8("21\xC2\xB0"
                              "C"));  // an alias
  EXPECT_EQ(TextFromBytes("21\xB0"
                          "C"),
            QString::fromUtf8("21\xC2\xB0"
                              "C"));  // radio bytes
  EXPECT_EQ(TextFromBytes(std::string("a\0b", 3)).size(), 3);
}

TEST(PigeonMailControlTest, QueueSettingsReachTheControl) {
  pigeon::Mail mail;
  PigeonMailControl control(mail);
  control.SetHostname("127.0.0.1:2525");
  control.SetSubject("Fire: MAIN ST");
  control.SetFromName("Kestrel");
  control.SetFromAddress("k@example.test");
  control.SetContentType("text/plain");
  control.SetMessage("body");
  EXPECT_EQ(mail.Hostname(), "127.0.0.1:2525");
  EXPECT_EQ(mail.Subject(), "Fire: MAIN ST");
  EXPECT_EQ(mail.FromName(), "Kestrel");
  EXPECT_EQ(mail.FromAddress(), "k@example.test");
  EXPECT_EQ(mail.ContentType(), "text/plain");
  EXPECT_EQ(mail.Message(), "body");
}

TEST(PigeonMailControlTest, ConnectionReachesTheControl) {
  pigeon::Mail mail;
  PigeonMailControl control(mail);
  control.SetConnection({kSmtpSecurityImplicitTls, 465, "me@example.test", "pw", "/ca.pem"});
  EXPECT_EQ(mail.Security(), pigeon::Mail::SecurityMode::kImplicitTls);
  EXPECT_EQ(mail.Port(), 465);
  EXPECT_EQ(mail.UserName(), "me@example.test");
  EXPECT_EQ(mail.Password(), "pw");
  EXPECT_EQ(mail.CAFile(), "/ca.pem");
  // An old profile's connection: plain, default port, no login.
  control.SetConnection({});
  EXPECT_EQ(mail.Security(), pigeon::Mail::SecurityMode::kNone);
  EXPECT_EQ(mail.Port(), 0);
  EXPECT_EQ(mail.UserName(), "");
  EXPECT_EQ(mail.Password(), "");
}

TEST(PigeonMailControlTest, TranscriptLinesReachTheSinkUntilItIsCleared) {
  pigeon::Mail mail;
  std::vector<std::string> lines;
  {
    PigeonMailControl control(mail);
    control.SetTranscript([&](const std::string& line) { lines.push_back(line); });
    emit mail.TranscriptLine(QString::fromUtf8("S: 220 caf\xC3\xA9"));
    control.SetTranscript({});
    emit mail.TranscriptLine("S: 250 gone");
    control.SetTranscript([&](const std::string& line) { lines.push_back("again " + line); });
  }
  // The control is gone: its sink must not be called any more.
  emit mail.TranscriptLine("S: 221 bye");
  EXPECT_EQ(lines, std::vector<std::string>{"S: 220 caf\xC3\xA9"});
}

}  // namespace
}  // namespace kestrel
