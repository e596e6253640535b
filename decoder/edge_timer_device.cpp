#include "decoder/edge_timer_device.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <mutex>

namespace sieve {
namespace {

// A real-time signal that nothing else in the program uses; it only ever wakes our own threads.
int WakeSignal() { return SIGRTMIN + 4; }

void IgnoreWake(int) {}

void InstallWakeHandler() {
  static std::once_flag once;
  std::call_once(once, [] {
    struct sigaction action {};
    action.sa_handler = IgnoreWake;
    sigemptyset(&action.sa_mask);
    action.sa_flags = 0;  // no SA_RESTART: the interrupted call must fail with EINTR
    sigaction(WakeSignal(), &action, nullptr);
  });
}

int64_t MonotonicNs() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return int64_t(now.tv_sec) * 1000000000 + now.tv_nsec;
}

uint16_t TicksOf(int64_t nanoseconds) {
  if (nanoseconds <= 0) return 0;
  const double ticks = std::floor(double(nanoseconds) / kSlicerTickNs + 0.5);
  // The driver's durations are 16 bits wide: a period of 55 ms or more (a line at rest) reads as
  // 65535 ticks, still hundreds of bits, which is all the frame stage needs to see of it.
  return ticks >= 65535.0 ? uint16_t(65535) : uint16_t(ticks);
}

uint8_t StatusOf(const ModemSample& period, bool cts_changed) {
  return uint8_t((period.cts ? kStatusCts : 0) | (period.dsr ? kStatusDsr : 0) |
                 (cts_changed ? kStatusCtsChanged : 0));
}

}  // namespace

std::string SerialDeviceForBase(int32_t base_address) {
  switch (base_address) {
    case 0x3F8:
      return "/dev/ttyS0";
    case 0x2F8:
      return "/dev/ttyS1";
    case 0x3E8:
      return "/dev/ttyS2";
    case 0x2E8:
      return "/dev/ttyS3";
    default:
      return {};
  }
}

std::string SlicerPortPath(int32_t base_address) {
  const char* named = std::getenv(kSlicerPortVariable);
  if (named != nullptr && *named != '\0') return named;
  return SerialDeviceForBase(base_address);
}

InterruptibleCall::InterruptibleCall() { InstallWakeHandler(); }

int InterruptibleCall::Run(const std::function<int()>& call) {
  // The signal may be blocked in threads the host program made; this thread must receive it.
  static thread_local bool unblocked = false;
  if (!unblocked) {
    sigset_t wake;
    sigemptyset(&wake);
    sigaddset(&wake, WakeSignal());
    pthread_sigmask(SIG_UNBLOCK, &wake, nullptr);
    unblocked = true;
  }
  caller_ = pthread_self();
  // Announce the call before looking at the flag and Interrupt does the reverse, so one of the
  // two always sees the other.
  in_call_.store(true);
  int result = -1;
  if (interrupted_.load()) {
    errno = EINTR;
  } else {
    result = call();
  }
  const int saved_errno = errno;
  in_call_.store(false);
  errno = saved_errno;
  return result;
}

void InterruptibleCall::Interrupt() {
  interrupted_.store(true);
  while (in_call_.load()) {
    pthread_kill(caller_.load(), WakeSignal());
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
}

std::unique_ptr<ModemLines> SerialModemLines::Open(const std::string& path) {
  // Non-blocking so that the open does not wait for carrier; the port's data is never read.
  const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return nullptr;
  return std::unique_ptr<ModemLines>(new SerialModemLines(fd));
}

SerialModemLines::~SerialModemLines() { ::close(fd_); }

std::optional<ModemSample> SerialModemLines::Read() {
  int bits = 0;
  if (::ioctl(fd_, TIOCMGET, &bits) != 0) return std::nullopt;
  const int64_t now = MonotonicNs();
  return ModemSample{(bits & TIOCM_CTS) != 0, (bits & TIOCM_DSR) != 0, now};
}

std::optional<ModemSample> SerialModemLines::WaitForChange() {
  for (;;) {
    const int result =
        wait_.Run([this] { return ::ioctl(fd_, TIOCMIWAIT, TIOCM_CTS | TIOCM_DSR); });
    if (result == 0) break;
    // Other signals may land here too; only our own interrupt ends the wait.
    if (errno != EINTR || wait_.interrupted()) return std::nullopt;
  }
  return Read();
}

EdgeTimerDevice::EdgeTimerDevice(ModemLinesOpener opener) : opener_(std::move(opener)) {}

EdgeTimerDevice::~EdgeTimerDevice() { Close(); }

bool EdgeTimerDevice::Control(int32_t code, const SlicerLinkRequest& request,
                              SlicerLinkReply& reply) {
  if (code != kSlicerLinkRequestCode) return false;
  const std::string path = SlicerPortPath(request.base_address);
  if (path.empty()) return false;
  Close();  // a second link replaces the first
  std::unique_ptr<ModemLines> lines = opener_ ? opener_(path) : nullptr;
  if (!lines) return false;
  const std::optional<ModemSample> start = lines->Read();
  if (!start) return false;
  lines_ = std::move(lines);
  thread_ = std::thread([this, start = *start] { Run(start); });
  reply.durations = durations_.data();
  reply.statuses = statuses_.data();
  reply.write_index = &write_index_;
  reply.ring_length = kRingLength;
  return true;
}

void EdgeTimerDevice::Close() {
  if (thread_.joinable()) {
    lines_->Interrupt();
    thread_.join();
  }
  lines_.reset();
}

void EdgeTimerDevice::Run(ModemSample start) {
  ModemSample period = start;  // the levels since the last edge, and when it came
  while (const std::optional<ModemSample> next = lines_->WaitForChange()) {
    const bool cts_changed = next->cts != period.cts;
    // Both levels back where they were: a pulse too short to see; the period goes on.
    if (!cts_changed && next->dsr == period.dsr) continue;
    Store(TicksOf(next->time_ns - period.time_ns), StatusOf(period, cts_changed));
    period = *next;
  }
}

void EdgeTimerDevice::Store(uint16_t duration, uint8_t status) {
  const int32_t index = write_index_.load(std::memory_order_relaxed);
  durations_[index] = duration;
  statuses_[index] = status;
  // The reader relies on the entry being complete before the index passes it.
  write_index_.store(index + 1 == kRingLength ? 0 : index + 1, std::memory_order_release);
}

SlicerDevice& PlatformSlicerDevice() {
  static auto* device = new EdgeTimerDevice();
  return *device;
}

}  // namespace sieve
