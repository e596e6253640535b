// kestrel --headless on loopback with real parts: a mosquitto broker and a subscriber, TCP
// clients, the daily file, signals.
#include <arpa/inet.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <mosquitto.h>
#include <netinet/in.h>
#include <pwd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QJsonDocument>
#include <QJsonObject>
#include <atomic>
#include <filesystem>
#include <fstream>
#include <map>
#include <mutex>
#include <set>
#include <thread>

#include "../outputs/event_schema.h"
#include "app/profile/profile.h"
#include "support/child_process.h"
#include "support/program_stores.h"
#include "support/scratch_directory.h"

namespace {

using namespace std::chrono_literals;
using kestrel_test::Child;
using kestrel_test::ReadText;
using kestrel_test::SplitLines;
using kestrel_test::WaitFor;

uint16_t FreePort() {
  const int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
  socklen_t length = sizeof address;
  getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
  close(fd);
  return ntohs(address.sin_port);
}

// Whether something accepts connections on the loopback port.
bool Listening(uint16_t port) {
  const int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(port);
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  const bool open = connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
  close(fd);
  return open;
}

// This environment without any display, with its own configuration directory.
std::vector<std::string> NoDisplay(const std::string& config_home) {
  std::vector<std::string> env;
  for (char** entry = environ; *entry != nullptr; ++entry) {
    const std::string text = *entry;
    if (text.starts_with("DISPLAY=") || text.starts_with("WAYLAND_DISPLAY=") ||
        text.starts_with("QT_QPA_PLATFORM=") || text.starts_with("XDG_CONFIG_HOME="))
      continue;
    env.push_back(text);
  }
  env.push_back("XDG_CONFIG_HOME=" + config_home);
  return env;
}

// A TCP client of the station; `stall` never reads and keeps its receive buffer small.
class LineClient {
 public:
  LineClient(uint16_t port, bool stall) {
    for (int tries = 0; tries < 300 && fd_ < 0; ++tries) {
      const int fd = socket(AF_INET, SOCK_STREAM, 0);
      if (stall) {
        const int size = 2048;
        setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &size, sizeof size);
      }
      sockaddr_in address{};
      address.sin_family = AF_INET;
      address.sin_port = htons(port);
      address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
      if (connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0) {
        fd_ = fd;
      } else {
        close(fd);
        std::this_thread::sleep_for(100ms);
      }
    }
    if (fd_ >= 0 && !stall) reader_ = std::thread([this] { Read(); });
  }
  ~LineClient() {
    if (fd_ >= 0) shutdown(fd_, SHUT_RDWR);
    if (reader_.joinable()) reader_.join();
    if (fd_ >= 0) close(fd_);
  }
  bool connected() const { return fd_ >= 0; }
  bool closed() const { return closed_; }
  std::string received() {
    std::lock_guard lock(mutex_);
    return received_;
  }

 private:
  void Read() {
    char buffer[65536];
    for (;;) {
      const ssize_t n = read(fd_, buffer, sizeof buffer);
      if (n <= 0) break;
      std::lock_guard lock(mutex_);
      received_.append(buffer, size_t(n));
    }
    closed_ = true;
  }
  int fd_ = -1;
  std::thread reader_;
  std::mutex mutex_;
  std::string received_;
  std::atomic<bool> closed_{false};
};

// A QoS 1 subscriber with a persistent session, on its own network thread.
class Subscriber {
 public:
  Subscriber(uint16_t port, const std::string& topics) : topics_(topics) {
    mosquitto_lib_init();
    mosq_ = mosquitto_new("kestrel-test-subscriber", false, this);
    mosquitto_connect_callback_set(mosq_, [](mosquitto* m, void* self, int rc) {
      if (rc == 0)
        mosquitto_subscribe(m, nullptr, static_cast<Subscriber*>(self)->topics_.c_str(), 1);
    });
    mosquitto_subscribe_callback_set(mosq_, [](mosquitto*, void* self, int, int, const int*) {
      static_cast<Subscriber*>(self)->subscribed_ = true;
    });
    mosquitto_message_callback_set(
        mosq_, [](mosquitto*, void* self, const mosquitto_message* message) {
          auto* s = static_cast<Subscriber*>(self);
          std::lock_guard lock(s->mutex_);
          s->messages_.emplace_back(
              message->topic,
              std::string(static_cast<const char*>(message->payload), size_t(message->payloadlen)));
        });
    mosquitto_reconnect_delay_set(mosq_, 1, 1, false);
    mosquitto_connect_async(mosq_, "127.0.0.1", port, 10);
    mosquitto_loop_start(mosq_);
  }
  ~Subscriber() {
    mosquitto_disconnect(mosq_);
    mosquitto_loop_stop(mosq_, true);
    mosquitto_destroy(mosq_);
  }
  bool subscribed() const { return subscribed_; }
  std::vector<std::pair<std::string, std::string>> messages() {
    std::lock_guard lock(mutex_);
    return messages_;
  }

 private:
  std::string topics_;
  mosquitto* mosq_;
  std::atomic<bool> subscribed_{false};
  std::mutex mutex_;
  std::vector<std::pair<std::string, std::string>> messages_;
};

class HeadlessStationTest : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(scratch_.path().empty());
    recording_ = scratch_.Path("traffic.wav");
    profile_ = scratch_.Path("station.ini");
    events_ = scratch_.Path("events");
    std::filesystem::create_directory(events_);
    // Long messages to four terminals, each continued in a second record: enough bytes that a
    // client that never reads passes any socket buffers.
    const std::string messages = scratch_.Path("messages.txt");
    {
      std::ofstream out(messages);
      const char* const terminals[] = {"1207", "4416", "0A31", "7702"};
      for (int i = 0; i < 16; ++i) {
        // A control byte first, then whole words up to about 240 bytes.
        std::string text = "\\x01";
        const std::string piece = " UNIT" + std::to_string(i) + " STATUS ENROUTE";
        while (text.size() + piece.size() <= 240) text += piece;
        out << terminals[i % 4] << ' ' << text << '\n';
      }
    }
    const kestrel_test::RunResult made = kestrel_test::RunProgram(
        MDCGEN_PATH, {"--messages", messages, "--gap", "0.3", "--snr", "18", "-o", recording_},
        scratch_.path().string());
    ASSERT_EQ(made.status, 0) << made.err;
  }

  // A profile with every output on; the rules log every message to the Messages window.
  void WriteProfile(uint16_t tcp_port, uint16_t mqtt_port) {
    std::ofstream(profile_, std::ios::binary)
        << "[Settings]\r\nVersion=1.6.1\r\nAutoSave=True\r\nMonitoring=False\r\nSieveSource=2\r\n"
        << "SamplingRate=44100\r\n"
        << "[Outputs]\r\nStationName=test\r\nFileOutput=True\r\nFileFolder=" << events_ << "\r\n"
        << "TCPOutput=True\r\nTCPPort=" << tcp_port << "\r\nTCPClientQueue=4096\r\n"
        << "MQTTOutput=" << (mqtt_port ? "True" : "False") << "\r\nMQTTPort=" << mqtt_port
        << "\r\n";
    std::ofstream(scratch_.Path("stationRules.ini"), std::ios::binary)
        << "[Rules]\r\nRules=1\r\nName1=Everything\r\nActive1=True\r\nMessageBody1=*\r\n"
        << "LogMessages1=True\r\nLogMessageType1=Seen\r\nBeepOnMatch1=True\r\n";
  }

  std::string BrokerConfig(uint16_t port) {
    const std::string config = scratch_.Path("mosquitto.conf");
    std::filesystem::create_directories(scratch_.Path("broker"));
    // Run as root, the broker would change to its own user, which cannot write here.
    const passwd* user = getpwuid(getuid());
    std::ofstream(config) << "user " << (user != nullptr ? user->pw_name : "nobody") << "\n"
                          << "listener " << port << " 127.0.0.1\nallow_anonymous true\n"
                          << "persistence true\npersistence_location " << scratch_.Path("broker")
                          << "/\nlog_dest none\n";
    return config;
  }

  // The lines of every event file, in file name order.
  std::vector<std::string> FileLines() {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(events_))
      names.push_back(entry.path().string());
    std::sort(names.begin(), names.end());
    std::vector<std::string> lines;
    for (const std::string& name : names) {
      for (std::string& line : SplitLines(ReadText(name))) lines.push_back(std::move(line));
    }
    return lines;
  }

  Child Start(const std::vector<std::string>& extra = {}) {
    std::vector<std::string> args = {"--headless", "--play", recording_};
    args.insert(args.end(), extra.begin(), extra.end());
    args.push_back(profile_);
    return Child(KESTREL_PATH, args, NoDisplay(scratch_.Path("config")), scratch_.path().string());
  }

  kestrel_test::ScratchDirectory scratch_{"kestrel_station"};
  std::string recording_, profile_, events_;
};

TEST_F(HeadlessStationTest, FileTcpAndMqttCarryTheSameEventsAcrossABrokerRestart) {
  const uint16_t mqtt_port = FreePort();
  const uint16_t tcp_port = FreePort();
  WriteProfile(tcp_port, mqtt_port);
  const std::string config = BrokerConfig(mqtt_port);
  auto broker =
      std::make_unique<Child>(MOSQUITTO_PATH, std::vector<std::string>{"-c", config},
                              NoDisplay(scratch_.Path("config")), scratch_.path().string());
  ASSERT_TRUE(WaitFor(10s, [&] { return Listening(mqtt_port); })) << "no broker";
  Subscriber subscriber(mqtt_port, "kestrel/test/#");
  ASSERT_TRUE(WaitFor(10s, [&] { return subscriber.subscribed(); }));

  Child kestrel = Start();
  ASSERT_TRUE(kestrel.started());
  LineClient reader(tcp_port, false);
  LineClient stalled(tcp_port, true);
  ASSERT_TRUE(reader.connected() && stalled.connected());

  // Mid-recording the broker goes away for a while and comes back.
  ASSERT_TRUE(WaitFor(30s, [&] { return FileLines().size() >= 12; }));
  EXPECT_EQ(broker->Terminate(10s), 0);
  const size_t while_away = FileLines().size();
  ASSERT_TRUE(WaitFor(30s, [&] { return FileLines().size() >= while_away + 6; }))
      << "no events while the broker was away";
  broker = std::make_unique<Child>(MOSQUITTO_PATH, std::vector<std::string>{"-c", config},
                                   NoDisplay(scratch_.Path("config")), scratch_.path().string());

  ASSERT_TRUE(WaitFor(90s, [&] { return !kestrel.Running(); })) << kestrel.Errors();
  EXPECT_EQ(kestrel.Terminate(1s), 0) << kestrel.Errors();

  const std::vector<std::string> file = FileLines();
  ASSERT_GT(file.size(), 20u);
  std::map<qint64, std::string> by_seq;
  for (const std::string& line : file) {
    ASSERT_EQ(kestrel_test::CheckEvent(line), "") << line;
    const qint64 seq =
        QJsonDocument::fromJson(QByteArray::fromStdString(line)).object()["seq"].toInteger();
    EXPECT_TRUE(by_seq.emplace(seq, line).second) << "seq " << seq << " twice in the file";
  }
  // The file has every event: 1..n without a gap, from "started" to "stopped".
  EXPECT_EQ(by_seq.begin()->first, 1);
  EXPECT_EQ(by_seq.rbegin()->first, qint64(file.size()));
  EXPECT_NE(file.front().find("\"state\":\"started\""), std::string::npos);
  EXPECT_NE(file.back().find("\"state\":\"stopped\""), std::string::npos);

  // MQTT: every event exactly once, on its type's topic, including those of the broker's absence.
  ASSERT_TRUE(WaitFor(20s, [&] { return subscriber.messages().size() >= file.size(); }));
  std::map<qint64, std::string> received;
  for (const auto& [topic, payload] : subscriber.messages()) {
    if (payload == "offline") {
      EXPECT_EQ(topic, "kestrel/test/status");
      continue;
    }
    const QJsonObject o = QJsonDocument::fromJson(QByteArray::fromStdString(payload)).object();
    EXPECT_EQ(topic, "kestrel/test/" + o["type"].toString().toStdString());
    EXPECT_TRUE(received.emplace(o["seq"].toInteger(), payload).second)
        << "seq " << o["seq"].toInteger() << " received twice";
  }
  EXPECT_EQ(received, by_seq);
  // A clean end leaves "offline" as the last word on the retained status topic.
  std::string last_status;
  for (const auto& [topic, payload] : subscriber.messages())
    if (topic == "kestrel/test/status") last_status = payload;
  EXPECT_EQ(last_status, "offline");

  // TCP: the reading client has every line from its connection on, the stalled one was dropped.
  const std::string tcp = reader.received();
  const std::vector<std::string> tcp_lines = SplitLines(tcp);
  ASSERT_FALSE(tcp_lines.empty());
  ASSERT_LE(tcp_lines.size(), file.size());
  EXPECT_TRUE(std::equal(tcp_lines.begin(), tcp_lines.end(), file.end() - tcp_lines.size()));
  EXPECT_GE(tcp_lines.size() + 3, file.size()) << "the client missed more than the start";
  EXPECT_NE(kestrel.Errors().find("dropped: its queue passed the limit"), std::string::npos)
      << kestrel.Errors();
  // Window-only actions on standard error, one line each.
  EXPECT_NE(kestrel.Errors().find("kestrel: rule \"Everything\": messages\n"), std::string::npos);
  EXPECT_NE(kestrel.Errors().find("kestrel: rule \"Everything\": beep\n"), std::string::npos);
}

TEST_F(HeadlessStationTest, SighupRotatesTheFileAndSigtermLeavesAProfileThatLoads) {
  WriteProfile(FreePort(), 0);
  Child kestrel = Start();
  ASSERT_TRUE(kestrel.started());
  ASSERT_TRUE(WaitFor(30s, [&] { return FileLines().size() >= 5; })) << kestrel.Errors();
  std::string name;
  for (const auto& entry : std::filesystem::directory_iterator(events_))
    name = entry.path().string();
  std::filesystem::rename(name, scratch_.Path("rotated.jsonl"));
  kestrel.Signal(SIGHUP);
  ASSERT_TRUE(WaitFor(30s, [&] { return std::filesystem::exists(name); })) << kestrel.Errors();
  ASSERT_TRUE(WaitFor(30s, [&] { return !SplitLines(ReadText(name)).empty(); }));
  // Nothing lost across the rotation: the two files continue each other.
  const std::vector<std::string> before = SplitLines(ReadText(scratch_.Path("rotated.jsonl")));
  const std::vector<std::string> after = SplitLines(ReadText(name));
  const auto seq = [](const std::string& line) {
    return QJsonDocument::fromJson(QByteArray::fromStdString(line)).object()["seq"].toInteger();
  };
  EXPECT_EQ(seq(after.front()), seq(before.back()) + 1);

  EXPECT_EQ(kestrel.Terminate(30s), 0) << kestrel.Errors();
  EXPECT_NE(SplitLines(ReadText(name)).back().find("\"text\":\"SIGTERM\""), std::string::npos);
  kestrel_test::ProgramStores stores;
  ASSERT_TRUE(kestrel::LoadProfile(profile_, stores.get()));
  // The profile keeps its own source and monitoring choice, its rules and its [Outputs].
  EXPECT_EQ(stores.settings.SieveSource, 2);
  EXPECT_FALSE(stores.settings.Monitoring);
  EXPECT_EQ(stores.rules.Count(), 1);
  EXPECT_NE(ReadText(profile_).find("TCPClientQueue=4096"), std::string::npos);
}

TEST_F(HeadlessStationTest, NothingToMonitorEndsWithAnErrorAndNoDisplay) {
  WriteProfile(FreePort(), 0);
  recording_ = scratch_.Path("missing.wav");
  Child kestrel = Start();
  ASSERT_TRUE(WaitFor(30s, [&] { return !kestrel.Running(); }));
  EXPECT_EQ(kestrel.Terminate(1s), 1);
  EXPECT_NE(kestrel.Errors().find("nothing can be monitored"), std::string::npos)
      << kestrel.Errors();
  const std::vector<std::string> lines = FileLines();
  ASSERT_FALSE(lines.empty());
  EXPECT_NE(lines.back().find("\"state\":\"stopped\""), std::string::npos);
}

}  // namespace
