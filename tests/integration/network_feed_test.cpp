// Two kestrel processes on loopback: one plays a recording and serves its decoded records, the
// other monitors that feed. Both log every message by a rule; the logs must be the same.
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <string>

#include "support/child_process.h"
#include "support/records.h"
#include "support/scratch_directory.h"

namespace {

using namespace std::chrono_literals;
using kestrel_test::Child;
using kestrel_test::Environment;
using kestrel_test::ReadText;
using kestrel_test::WaitFor;

// A port free for both TCP and UDP on loopback right now.
int FreePort() {
  for (int attempt = 0; attempt < 20; ++attempt) {
    const int tcp = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof(address);
    bind(tcp, reinterpret_cast<sockaddr*>(&address), sizeof(address));
    getsockname(tcp, reinterpret_cast<sockaddr*>(&address), &length);
    const int udp = socket(AF_INET, SOCK_DGRAM, 0);
    const bool free = bind(udp, reinterpret_cast<sockaddr*>(&address), sizeof(address)) == 0;
    const int port = ntohs(address.sin_port);
    close(tcp);
    close(udp);
    if (free) return port;
  }
  return 0;
}

bool Listening(int port) {
  const int s = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons(uint16_t(port));
  const bool up = connect(s, reinterpret_cast<sockaddr*>(&address), sizeof(address)) == 0;
  close(s);
  return up;
}

class NetworkFeedTest : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(scratch_.path().empty());
    port_ = FreePort();
    ASSERT_GT(port_, 0);
    recording_ = scratch_.Path("feed.wav");
    // Gaps of two seconds before every message leave the client time to ask for the feed.
    const std::string messages =
        scratch_.Write("messages.txt",
                       "1207 DISPATCH #31 STRUCTURE FIRE AT 400 MAIN ST\\rENGINE 9 RESPOND\n"
                       "2158 STATUS ENRT #24-031877\n"
                       "3090 MSG FROM DISPATCH: TOW ENROUTE TO YOUR LOC, ETA 20 MIN\n"
                       "4416 QUERY PLATE ABC123 NO WANTS\\rREG: 2019 SEDAN BLUE\n");
    const kestrel_test::RunResult made = kestrel_test::RunProgram(
        MDCGEN_PATH, {"--messages", messages, "--gap", "2", "--snr", "20", "-o", recording_},
        scratch_.path().string());
    ASSERT_EQ(made.status, 0) << made.err;
  }

  // A profile that logs every message to `log`, with these settings lines.
  std::string Profile(const std::string& name, const std::string& settings,
                      const std::string& log) {
    const std::string path = scratch_.Path(name + ".ini");
    std::ofstream(path, std::ios::binary)
        << "[Settings]\r\nVersion=1.6.1\r\nAutoSave=False\r\nMonitoring=True\r\n"
        << "ServerAddress=127.0.0.1\r\nServerPort=" << port_ << "\r\n"
        << settings;
    std::ofstream(scratch_.Path(name + "Rules.ini"), std::ios::binary)
        << "[Rules]\r\nRules=1\r\nName1=Everything\r\nActive1=True\r\nMessageBody1=*\r\n"
        << "LogFile1=True\r\nLogFilename1=" << log << "\r\n";
    return path;
  }

  kestrel_test::ScratchDirectory scratch_{"kestrel_feed"};
  int port_ = 0;
  std::string recording_;
};

TEST_F(NetworkFeedTest, TheClientLogsWhatTheServerLogsAndOnlyThat) {
  const std::string server_log = scratch_.Path("server.log");
  const std::string client_log = scratch_.Path("client.log");
  const std::string server_profile =
      Profile("server", "SieveSource=1\r\nListen=True\r\n", server_log);
  const std::string client_profile =
      Profile("client", "SieveSource=2\r\nAutoReconnect=False\r\n", client_log);

  Child server(KESTREL_PATH, {"--play", recording_, server_profile},
               Environment(scratch_.Path("server-config")), scratch_.path().string());
  ASSERT_TRUE(server.started());
  ASSERT_TRUE(WaitFor(20s, [&] { return Listening(port_); })) << server.Errors();
  Child client(KESTREL_PATH, {client_profile}, Environment(scratch_.Path("client-config")),
               scratch_.path().string());
  ASSERT_TRUE(client.started());

  // Everything the server logs reaches the client.
  ASSERT_TRUE(WaitFor(60s,
                      [&] {
                        const std::string logged = ReadText(server_log);
                        return logged.find("4416") != std::string::npos &&
                               ReadText(client_log) == logged;
                      }))
      << "server:\n"
      << ReadText(server_log) << "\nclient:\n"
      << ReadText(client_log) << "\n"
      << server.Errors() << client.Errors();

  // A record from anyone but the server fires no rule.
  const int s = socket(AF_INET, SOCK_DGRAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons(uint16_t(port_));
  const std::string forged = kestrel_test::Record(0x6666, true, "FORGED MESSAGE FROM NOBODY");
  sendto(s, forged.data(), forged.size(), 0, reinterpret_cast<sockaddr*>(&address),
         sizeof(address));
  close(s);
  std::this_thread::sleep_for(1s);
  EXPECT_EQ(ReadText(client_log).find("FORGED"), std::string::npos);

  EXPECT_TRUE(client.Running()) << client.Errors();
  EXPECT_EQ(client.Terminate(20s), 0) << client.Errors();
  EXPECT_EQ(server.Terminate(20s), 0) << server.Errors();
}

}  // namespace
