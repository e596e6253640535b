#include "decoder/edge_timer_device.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <filesystem>
#include <mutex>
#include <thread>

#include "decoder/replay_slicer_device.h"

extern char** environ;

namespace sieve {
namespace {

using std::chrono::steady_clock;
using namespace std::chrono_literals;

// A port whose edges the test scripts. Shared with the lines the device owns, which end at Close.
struct FakePort {
  std::mutex mutex;
  std::condition_variable changed;
  std::deque<std::optional<ModemSample>> edges;  // nullopt: the port fails
  bool interrupted = false;
  std::optional<ModemSample> levels = ModemSample{};
  std::string opened_path;
  int open_lines = 0;

  void Edge(bool cts, bool dsr, int64_t time_ns) {
    std::lock_guard lock(mutex);
    edges.push_back(ModemSample{cts, dsr, time_ns});
    changed.notify_all();
  }
  void Fail() {
    std::lock_guard lock(mutex);
    edges.push_back(std::nullopt);
    changed.notify_all();
  }
};

class FakeModemLines : public ModemLines {
 public:
  explicit FakeModemLines(std::shared_ptr<FakePort> port) : port_(std::move(port)) {
    std::lock_guard lock(port_->mutex);
    ++port_->open_lines;
    port_->interrupted = false;
  }
  ~FakeModemLines() override {
    std::lock_guard lock(port_->mutex);
    --port_->open_lines;
  }
  std::optional<ModemSample> Read() override {
    std::lock_guard lock(port_->mutex);
    return port_->levels;
  }
  std::optional<ModemSample> WaitForChange() override {
    std::unique_lock lock(port_->mutex);
    port_->changed.wait(lock, [&] { return port_->interrupted || !port_->edges.empty(); });
    if (port_->interrupted) return std::nullopt;
    const std::optional<ModemSample> edge = port_->edges.front();
    port_->edges.pop_front();
    return edge;
  }
  void Interrupt() override {
    std::lock_guard lock(port_->mutex);
    port_->interrupted = true;
    port_->changed.notify_all();
  }

 private:
  std::shared_ptr<FakePort> port_;
};

class EdgeTimerDeviceTest : public testing::Test {
 protected:
  ModemLinesOpener Opener() {
    return [port = port_](const std::string& path) -> std::unique_ptr<ModemLines> {
      port->opened_path = path;
      if (path == "unopenable") return nullptr;
      return std::make_unique<FakeModemLines>(port);
    };
  }

  bool Link(EdgeTimerDevice& device, int32_t base = 0x2F8) {
    reply_ = SlicerLinkReply{};
    return device.Open() && device.Control(kSlicerLinkRequestCode, {3, base}, reply_);
  }

  static bool WaitForIndex(const EdgeTimerDevice& device, int32_t index) {
    const auto deadline = steady_clock::now() + 5s;
    while (device.write_index() != index) {
      if (steady_clock::now() > deadline) return false;
      std::this_thread::sleep_for(1ms);
    }
    return true;
  }

  std::shared_ptr<FakePort> port_ = std::make_shared<FakePort>();
  SlicerLinkReply reply_;
};

TEST(SerialDeviceForBaseTest, StandardPortsOnly) {
  EXPECT_EQ(SerialDeviceForBase(0x3F8), "/dev/ttyS0");
  EXPECT_EQ(SerialDeviceForBase(0x2F8), "/dev/ttyS1");
  EXPECT_EQ(SerialDeviceForBase(0x3E8), "/dev/ttyS2");
  EXPECT_EQ(SerialDeviceForBase(0x2E8), "/dev/ttyS3");
  for (int32_t base : {0, -1, 0x3F9, 0x2E0, 0x3F8 << 8}) EXPECT_EQ(SerialDeviceForBase(base), "");
}

TEST_F(EdgeTimerDeviceTest, EachPeriodBecomesOneEntry) {
  EdgeTimerDevice device(Opener());
  port_->levels = ModemSample{false, false, 1000};
  ASSERT_TRUE(Link(device, 0x2E8));
  EXPECT_EQ(port_->opened_path, "/dev/ttyS3");
  EXPECT_EQ(reply_.ring_length, EdgeTimerDevice::kRingLength);
  ASSERT_NE(reply_.durations, nullptr);
  ASSERT_NE(reply_.statuses, nullptr);
  ASSERT_NE(reply_.write_index, nullptr);

  int64_t t = 1000;
  port_->Edge(true, false, t += 208662);      // CTS rises after one bit (248.97 ticks)
  port_->Edge(true, true, t += 419);          // DSR rises; 0.49994 ticks
  port_->Edge(true, true, t + 100);           // levels unchanged: a glitch, no entry
  port_->Edge(false, true, t += 420);         // CTS falls; 0.50114 ticks
  port_->Edge(true, false, t += 1000000000);  // both change after a second: saturates
  port_->Edge(true, true, t += 54924137);     // 65534.0003 ticks
  ASSERT_TRUE(WaitForIndex(device, 5));
  device.Close();

  const uint16_t durations[] = {249, 0, 1, 65535, 65534};
  const uint8_t statuses[] = {
      kStatusCtsChanged,                            // low CTS, ended by CTS
      kStatusCts,                                   // CTS high, ended by DSR
      kStatusCts | kStatusDsr | kStatusCtsChanged,  // both high, ended by CTS
      kStatusDsr | kStatusCtsChanged,               // both changed: CTS wins
      kStatusCts,                                   // ended by DSR alone
  };
  for (int i = 0; i < 5; ++i) {
    EXPECT_EQ(reply_.durations[i], durations[i]) << i;
    EXPECT_EQ(reply_.statuses[i], statuses[i]) << i;
  }
  EXPECT_EQ(reply_.write_index->load(), 5);
}

TEST_F(EdgeTimerDeviceTest, RingWrapsAndLaterLinksContinue) {
  EdgeTimerDevice device(Opener());
  ASSERT_TRUE(Link(device));
  const uint16_t* ring = reply_.durations;
  int64_t t = 0;
  bool cts = false;
  for (int i = 0; i < EdgeTimerDevice::kRingLength - 2; ++i) {
    cts = !cts;
    port_->Edge(cts, false, t += 838 * (i % 100 + 1));
  }
  ASSERT_TRUE(WaitForIndex(device, EdgeTimerDevice::kRingLength - 2));
  device.Close();
  EXPECT_FALSE(device.linked());
  EXPECT_EQ(port_->open_lines, 0);

  // The new link's first period starts at the link, whatever the line did in between.
  port_->levels = ModemSample{true, false, 10000000};
  ASSERT_TRUE(Link(device));
  EXPECT_EQ(reply_.durations, ring);
  EXPECT_EQ(reply_.write_index->load(), EdgeTimerDevice::kRingLength - 2);
  t = 10000000;
  for (int i = 0; i < 4; ++i) port_->Edge(i % 2 == 1, false, t += 838 * (i + 1));
  ASSERT_TRUE(WaitForIndex(device, 2));
  device.Close();
  const int32_t last = EdgeTimerDevice::kRingLength - 1;
  EXPECT_EQ(reply_.durations[last - 1], 1);
  EXPECT_EQ(reply_.statuses[last - 1], kStatusCts | kStatusCtsChanged);
  EXPECT_EQ(reply_.durations[last], 2);
  EXPECT_EQ(reply_.statuses[last], kStatusCtsChanged);
  EXPECT_EQ(reply_.durations[0], 3);
  EXPECT_EQ(reply_.durations[1], 4);
}

TEST_F(EdgeTimerDeviceTest, CloseReturnsPromptlyAndIsHarmless) {
  EdgeTimerDevice device(Opener());
  device.Close();  // never linked
  ASSERT_TRUE(Link(device));
  EXPECT_TRUE(device.linked());
  const auto start = steady_clock::now();
  device.Close();
  EXPECT_LT(steady_clock::now() - start, 1s);
  EXPECT_FALSE(device.linked());
  EXPECT_EQ(port_->open_lines, 0);
  device.Close();

  // A port that fails ends the thread; Close still cleans up.
  ASSERT_TRUE(Link(device));
  port_->Fail();
  device.Close();
  EXPECT_EQ(port_->open_lines, 0);

  // A second link without Close replaces the first.
  ASSERT_TRUE(Link(device));
  ASSERT_TRUE(Link(device));
  EXPECT_EQ(port_->open_lines, 1);
}

TEST_F(EdgeTimerDeviceTest, RefusesBadRequestsAndSilentPorts) {
  EdgeTimerDevice device(Opener());
  SlicerLinkReply reply;
  EXPECT_FALSE(device.Control(2, {4, 0x3F8}, reply));
  EXPECT_FALSE(device.Control(kSlicerLinkRequestCode, {4, 0x3F0}, reply));
  EXPECT_EQ(port_->opened_path, "");  // refused before any port was touched

  EdgeTimerDevice unopenable([](const std::string&) { return nullptr; });
  EXPECT_FALSE(unopenable.Control(kSlicerLinkRequestCode, {4, 0x2F8}, reply));

  port_->levels = std::nullopt;  // a port that does not report its modem lines
  EXPECT_FALSE(Link(device));
  EXPECT_FALSE(device.linked());
  EXPECT_EQ(port_->open_lines, 0);
  EXPECT_EQ(reply.ring_length, 0);
}

TEST_F(EdgeTimerDeviceTest, ANamedPortReplacesThePortTable) {
  struct Unset {
    ~Unset() { unsetenv(kSlicerPortVariable); }
  } unset;
  EdgeTimerDevice device(Opener());
  setenv(kSlicerPortVariable, "/dev/ttyUSB3", 1);
  EXPECT_EQ(SlicerPortPath(0x2F8), "/dev/ttyUSB3");
  ASSERT_TRUE(Link(device, 0x3F0));  // any address once a device is named
  EXPECT_EQ(port_->opened_path, "/dev/ttyUSB3");
  device.Close();

  setenv(kSlicerPortVariable, "", 1);  // empty: the port table again
  ASSERT_TRUE(Link(device, 0x2F8));
  EXPECT_EQ(port_->opened_path, "/dev/ttyS1");
  device.Close();
  unsetenv(kSlicerPortVariable);
  EXPECT_EQ(SlicerPortPath(0x3E8), "/dev/ttyS2");
  EXPECT_FALSE(Link(device, 0x3F0));
}

TEST(ReplaySlicerDeviceTest, StoresAtTheWriteIndexAndWraps) {
  ReplaySlicerDevice device(3);
  SlicerLinkReply reply;
  EXPECT_TRUE(device.Open());
  EXPECT_FALSE(device.Control(0, {}, reply));
  ASSERT_TRUE(device.Control(kSlicerLinkRequestCode, {4, 0x3F8}, reply));
  EXPECT_EQ(reply.ring_length, 3);
  for (uint16_t d : {10, 20, 30, 40}) device.Store(d, uint8_t(d));
  EXPECT_EQ(reply.write_index->load(), 1);
  EXPECT_EQ(reply.durations[0], 40);
  EXPECT_EQ(reply.statuses[0], 40);
  EXPECT_EQ(reply.durations[2], 30);
  device.Close();
  device.Close();
  EXPECT_EQ(ReplaySlicerDevice(0).ring_length(), 1);
}

TEST(InterruptibleCallTest, InterruptWakesABlockedCall) {
  int fds[2];
  ASSERT_EQ(pipe(fds), 0);
  InterruptibleCall call;
  int result = 0;
  int error = 0;
  std::thread reader([&] {
    char byte;
    result = call.Run([&] { return int(read(fds[0], &byte, 1)); });
    error = errno;
  });
  std::this_thread::sleep_for(20ms);  // let it block; Interrupt must work either way
  const auto start = steady_clock::now();
  call.Interrupt();
  reader.join();
  EXPECT_LT(steady_clock::now() - start, 1s);
  EXPECT_EQ(result, -1);
  EXPECT_EQ(error, EINTR);

  // Sticky: a later call does not start.
  bool ran = false;
  EXPECT_EQ(call.Run([&] { return ran = true, 0; }), -1);
  EXPECT_FALSE(ran);

  InterruptibleCall fresh;
  ASSERT_EQ(write(fds[1], "x", 1), 1);
  char byte = 0;
  EXPECT_EQ(fresh.Run([&] { return int(read(fds[0], &byte, 1)); }), 1);
  EXPECT_EQ(byte, 'x');
  close(fds[0]);
  close(fds[1]);
}

// A pair of pseudo-terminals made by socat, removed again at the end.
class SocatPair {
 public:
  SocatPair() {
    std::string pattern = testing::TempDir() + "edge_timer_XXXXXX";
    if (mkdtemp(pattern.data()) == nullptr) return;
    dir_ = pattern;
    path_ = dir_ + "/ttyA";
    const std::string a = "pty,raw,echo=0,link=" + path_;
    const std::string b = "pty,raw,echo=0,link=" + dir_ + "/ttyB";
    char* argv[] = {const_cast<char*>("socat"), const_cast<char*>(a.c_str()),
                    const_cast<char*>(b.c_str()), nullptr};
    if (posix_spawnp(&pid_, "socat", nullptr, nullptr, argv, environ) != 0) {
      pid_ = 0;
      return;
    }
    const auto deadline = steady_clock::now() + 5s;
    while (!std::filesystem::exists(path_) && steady_clock::now() < deadline) {
      if (waitpid(pid_, nullptr, WNOHANG) == pid_) {  // exited: socat is missing or failed
        pid_ = 0;
        return;
      }
      std::this_thread::sleep_for(10ms);
    }
  }
  ~SocatPair() {
    if (pid_ > 0) {
      kill(pid_, SIGTERM);
      waitpid(pid_, nullptr, 0);
    }
    if (!dir_.empty()) std::filesystem::remove_all(dir_);
  }
  bool ready() const { return pid_ > 0 && std::filesystem::exists(path_); }
  const std::string& path() const { return path_; }

 private:
  pid_t pid_ = 0;
  std::string dir_;
  std::string path_;
};

TEST(SerialModemLinesTest, PseudoTerminalHasNoModemLines) {
  EXPECT_EQ(SerialModemLines::Open(testing::TempDir() + "no_such_port"), nullptr);

  SocatPair pair;
  if (!pair.ready()) GTEST_SKIP() << "socat is not available";
  std::unique_ptr<ModemLines> lines = SerialModemLines::Open(pair.path());
  ASSERT_NE(lines, nullptr);
  EXPECT_FALSE(lines->Read().has_value());
  lines.reset();

  // Whatever base is asked for, only the pseudo-terminal is opened.
  EdgeTimerDevice device([&](const std::string&) { return SerialModemLines::Open(pair.path()); });
  SlicerLinkReply reply;
  EXPECT_FALSE(device.Control(kSlicerLinkRequestCode, {3, 0x2F8}, reply));
  EXPECT_FALSE(device.linked());
}

}  // namespace
}  // namespace sieve
