#include "app/mail/pigeon_mail_control.h"

#include <gtest/gtest.h>

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

}  // namespace
}  // namespace kestrel
