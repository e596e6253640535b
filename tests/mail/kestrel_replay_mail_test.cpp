// kestrel-replay tells a mail that was not sent from one that was: a line on standard error for
// each, and a failing exit, while the [Mail] listing stays as it is.
#include <arpa/inet.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "app/traffic/record.h"
#include "support/records.h"
#include "support/run_program.h"
#include "support/scratch_directory.h"

namespace {

using kestrel_test::Record;
using kestrel_test::RunResult;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::StartsWith;

// A loopback port nobody listens on: bound for a moment, then closed.
int ClosedPort() {
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  int port = 0;
  if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
      ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) == 0) {
    port = ntohs(address.sin_port);
  }
  ::close(fd);
  return port;
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  for (size_t start = 0; start < text.size();) {
    const size_t end = text.find('\n', start);
    lines.push_back(text.substr(start, end - start));
    if (end == std::string::npos) break;
    start = end + 1;
  }
  return lines;
}

std::vector<std::string> MailSection(const RunResult& result) {
  std::vector<std::string> lines;
  bool inside = false;
  for (const std::string& line : result.lines) {
    if (line.starts_with("[")) {
      inside = line == "[Mail]";
    } else if (inside) {
      lines.push_back(line);
    }
  }
  return lines;
}

class KestrelReplayMailTest : public ::testing::Test {
 protected:
  KestrelReplayMailTest() {
    // The password comes from files here, never from the desktop's keyring.
    ::setenv("KESTREL_NO_KEYRING", "1", 1);
    ::setenv("XDG_CONFIG_HOME", scratch_.Path("config").c_str(), 1);
  }
  RunResult Run(const std::string& settings) {
    const std::string profile =
        scratch_.Write("p.ini", "[Settings]\r\nVersion=1.6.1\r\n" + settings);
    scratch_.Write("pRules.ini",
                   "[Rules]\nRules=1\n"
                   "Name1=Fire mail\nActive1=True\nMessageBody1=*FIRE*\nEMailMessages1=True\n"
                   "EMailMessageToAddress1=chief@example.test\n"
                   "EMailMessageSubject1=Fire: %T\nEMailMessageVerb1=with\n"
                   "EMailMessageOccurence1=1\nEMailMessageCharacter1=character\n");
    const std::string records = scratch_.Write(
        "records.txt", kestrel::HexText(Record(0x0101, true, "FIRE ON MAIN")) + "\n\n" +
                           kestrel::HexText(Record(0x0202, true, "FIRE AT DOCK")) + "\n\n");
    return kestrel_test::RunProgram(KESTREL_REPLAY_PATH,
                                    {"--profile", profile, "--records", records},
                                    scratch_.path().string());
  }

  kestrel_test::ScratchDirectory scratch_{"kestrel_replay_mail_test"};
};

TEST_F(KestrelReplayMailTest, NoServerListeningFailsEachMailOnItsOwnLine) {
  const int port = ClosedPort();
  ASSERT_NE(port, 0);
  const RunResult result = Run("SMTPMailServer=127.0.0.1:" + std::to_string(port) + "\r\n");
  EXPECT_EQ(result.status, 1) << result.err;
  // The listing is the same as for delivered mail.
  EXPECT_THAT(MailSection(result), ElementsAre("chief@example.test\tFire: FIRE ON MAIN\t12",
                                               "chief@example.test\tFire: FIRE AT DOCK\t12"));
  const std::vector<std::string> errors = Lines(result.err);
  ASSERT_EQ(errors.size(), 2u) << result.err;
  EXPECT_THAT(errors[0], StartsWith("kestrel-replay: mail to chief@example.test (\"Fire: FIRE ON "
                                    "MAIN\") not sent: "));
  EXPECT_THAT(errors[1], StartsWith("kestrel-replay: mail to chief@example.test (\"Fire: FIRE AT "
                                    "DOCK\") not sent: "));
  // The socket's own reason, not a generic one.
  EXPECT_THAT(errors[0], HasSubstr("refused")) << errors[0];
}

TEST_F(KestrelReplayMailTest, PasswordFileOthersMayReadStopsTheSendingWithItsReason) {
  const std::string password = scratch_.Write("password", "secret\n");
  ::chmod(password.c_str(), 0644);
  const RunResult result = Run("SMTPMailServer=127.0.0.1:" + std::to_string(ClosedPort()) +
                               "\r\nSMTPSecurity=1\r\nSMTPUserName=me@example.test\r\n"
                               "SMTPPasswordFile=" +
                               password + "\r\n");
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(MailSection(result).size(), 2u);
  const std::vector<std::string> errors = Lines(result.err);
  ASSERT_EQ(errors.size(), 2u) << result.err;
  EXPECT_THAT(errors[0], HasSubstr("not sent: no password: the password file " + password +
                                   " may be read by other users"));
  EXPECT_THAT(result.out + result.err, ::testing::Not(HasSubstr("secret")));
}

}  // namespace
