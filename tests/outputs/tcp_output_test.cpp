#include "app/outputs/tcp_output.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QElapsedTimer>

namespace kestrel {
namespace {

// A loopback client on a plain socket, so the test decides exactly when it reads.
class Client {
 public:
  Client(uint16_t port, int receive_buffer) {
    fd_ = socket(AF_INET, SOCK_STREAM, 0);
    if (receive_buffer > 0)
      setsockopt(fd_, SOL_SOCKET, SO_RCVBUF, &receive_buffer, sizeof receive_buffer);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    connected_ = connect(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    fcntl(fd_, F_SETFL, O_NONBLOCK);
  }
  ~Client() { close(fd_); }
  bool connected() const { return connected_; }
  // Reads what is there; false once the server has closed the connection.
  bool Drain() {
    char buffer[65536];
    for (;;) {
      const ssize_t n = read(fd_, buffer, sizeof buffer);
      if (n > 0) {
        received_.append(buffer, size_t(n));
        continue;
      }
      return !(n == 0);
    }
  }
  const std::string& received() const { return received_; }

 private:
  int fd_ = -1;
  bool connected_ = false;
  std::string received_;
};

class TcpOutputTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    static int argc = 1;
    static char name[] = "tcp_output_test";
    static char* argv[] = {name, nullptr};
    if (QCoreApplication::instance() == nullptr) new QCoreApplication(argc, argv);
  }
  // Lets the output accept clients and move bytes.
  static void Spin(int rounds = 20) {
    for (int i = 0; i < rounds; ++i) QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
  }
  std::vector<std::string> reports_;
  OutputReport report_ = [this](std::string_view line) { reports_.emplace_back(line); };
};

TEST_F(TcpOutputTest, ASlowClientIsDroppedWhileTheOtherReceivesEveryLine) {
  constexpr int64_t kQueue = 64 * 1024;
  TcpOutput output("127.0.0.1", 0, kQueue, report_);
  ASSERT_NE(output.ListeningPort(), 0);
  Client reader(output.ListeningPort(), 0);
  Client stalled(output.ListeningPort(), 4096);
  ASSERT_TRUE(reader.connected() && stalled.connected());
  QElapsedTimer safety;
  safety.start();
  while (output.ClientCount() < 2 && safety.elapsed() < 10000) Spin(1);
  ASSERT_EQ(output.ClientCount(), 2);

  const std::string line(199, 'x');
  std::string expected;
  // Far more than any socket buffers hold: the stalled client must pass its queue.
  int written = 0;
  for (; written < 200000 && output.ClientCount() == 2; ++written) {
    const std::string json = std::to_string(written) + line + "\n";
    output.Write({"record", Clock::TimePoint{}, json});
    expected += json;
    if (written % 100 == 0) {
      Spin(1);
      reader.Drain();
    }
  }
  EXPECT_EQ(output.ClientCount(), 1);
  ASSERT_EQ(reports_.size(), 1u);
  EXPECT_NE(reports_[0].find("dropped: its queue passed the limit"), std::string::npos);
  // The other client goes on receiving.
  for (int i = 0; i < 100; ++i) {
    const std::string json = "after" + std::to_string(i) + "\n";
    output.Write({"record", Clock::TimePoint{}, json});
    expected += json;
  }
  while (reader.received().size() < expected.size() && safety.elapsed() < 20000) {
    Spin(1);
    reader.Drain();
  }
  EXPECT_EQ(reader.received().size(), expected.size());
  EXPECT_TRUE(reader.received() == expected);
  EXPECT_EQ(output.Status().failures, 1u);
  EXPECT_GE(output.Status().dropped, 1u);
}

TEST_F(TcpOutputTest, LinesUpToTheLimitStayQueuedOnePastDropsTheClient) {
  constexpr int64_t kQueue = 1024;
  TcpOutput output("127.0.0.1", 0, kQueue, report_);
  Client client(output.ListeningPort(), 0);
  Spin();
  ASSERT_EQ(output.ClientCount(), 1);
  // Without the event loop nothing leaves the queue: exactly kQueue bytes are accepted.
  output.Write({"record", {}, std::string(kQueue - 1, 'a') + "\n"});
  EXPECT_EQ(output.ClientCount(), 1);
  output.Write({"record", {}, "\n"});
  EXPECT_EQ(output.ClientCount(), 0);
}

TEST_F(TcpOutputTest, ABusyPortIsReportedAndRetried) {
  TcpOutput first("127.0.0.1", 0, 4096, report_);
  const uint16_t port = first.ListeningPort();
  TcpOutput second("127.0.0.1", port, 4096, report_, std::chrono::milliseconds(10));
  EXPECT_EQ(second.ListeningPort(), 0);
  ASSERT_EQ(reports_.size(), 1u);
  EXPECT_NE(reports_[0].find("cannot listen"), std::string::npos);
  EXPECT_EQ(second.Status().state.rfind("failing", 0), 0u);
  // Writing with no server and no client loses nothing and blocks nothing.
  second.Write({"record", {}, "x\n"});
  first.Finish(std::chrono::milliseconds(0));
  QElapsedTimer safety;
  safety.start();
  while (second.ListeningPort() == 0 && safety.elapsed() < 10000) Spin(1);
  EXPECT_EQ(second.ListeningPort(), port);
  EXPECT_EQ(reports_.size(), 2u);  // and the recovery
}

TEST_F(TcpOutputTest, AnAddressThatIsNotAnIpAddressIsRefused) {
  TcpOutput output("localhost", 0, 4096, report_);
  EXPECT_EQ(output.ListeningPort(), 0);
  ASSERT_EQ(reports_.size(), 1u);
  EXPECT_NE(reports_[0].find("not an IP address"), std::string::npos);
}

}  // namespace
}  // namespace kestrel
