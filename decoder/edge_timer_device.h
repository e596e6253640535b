#pragma once

#include <pthread.h>

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <thread>

#include "decoder/slicer_device.h"
#include "sieve/sieve.h"

namespace sieve {

// The levels of the two modem-status inputs a slicer may drive, and when they were read
// (CLOCK_MONOTONIC, nanoseconds).
struct ModemSample {
  bool cts = false;
  bool dsr = false;
  int64_t time_ns = 0;
};

// Access to a serial port's modem-status inputs.
class ModemLines {
 public:
  virtual ~ModemLines() = default;
  // The current levels; nullopt when the port does not report them.
  virtual std::optional<ModemSample> Read() = 0;
  // Blocks until CTS or DSR changes, then reads the levels. nullopt once Interrupt has been called
  // or when the port fails; either way no later call will succeed.
  virtual std::optional<ModemSample> WaitForChange() = 0;
  // Makes a WaitForChange blocked on another thread return, and every later one at once.
  virtual void Interrupt() = 0;
};

// Opens the modem lines of a serial device; nullptr when it cannot be opened.
using ModemLinesOpener = std::function<std::unique_ptr<ModemLines>(const std::string& path)>;

// The serial device of a standard PC port's base I/O address (0x3F8, 0x2F8, 0x3E8, 0x2E8 are the
// first to fourth ports); empty for any other address.
std::string SerialDeviceForBase(int32_t base_address);

// Names the serial device the edge timer watches instead of the link request's standard port, for
// slicers on other devices (USB adapters and the like). The host program sets it before linking;
// it is read on the linking thread at every link request.
inline constexpr char kSlicerPortVariable[] = SIEVE_SLICER_PORT_VARIABLE;

// The serial device a link to `base_address` watches: the variable's value when it is set and not
// empty, whatever the address; else SerialDeviceForBase.
std::string SlicerPortPath(int32_t base_address);

// Runs a blocking system call that another thread can cut short. Interrupt sends the calling
// thread a signal whose handler does nothing and is installed without SA_RESTART, so the call
// fails with EINTR. A signal that lands just before the call starts would be lost, so Interrupt
// keeps sending until the call has returned; and it is sticky, so a call that has not started yet
// does not start at all. The thread in Run must not be joined before Interrupt returns.
class InterruptibleCall {
 public:
  InterruptibleCall();
  // Returns the call's result, or -1 with errno EINTR once interrupted.
  int Run(const std::function<int()>& call);
  void Interrupt();
  bool interrupted() const { return interrupted_.load(); }

 private:
  std::atomic<bool> interrupted_{false};
  std::atomic<bool> in_call_{false};
  std::atomic<pthread_t> caller_{};
};

// The modem lines of a serial device through TIOCMIWAIT and TIOCMGET.
class SerialModemLines : public ModemLines {
 public:
  // nullptr when the device cannot be opened. Whether it reports modem lines shows in Read.
  static std::unique_ptr<ModemLines> Open(const std::string& path);
  ~SerialModemLines() override;
  SerialModemLines(const SerialModemLines&) = delete;
  SerialModemLines& operator=(const SerialModemLines&) = delete;

  std::optional<ModemSample> Read() override;
  std::optional<ModemSample> WaitForChange() override;
  void Interrupt() override { wait_.Interrupt(); }

 private:
  explicit SerialModemLines(int fd) : fd_(fd) {}

  int fd_;
  InterruptibleCall wait_;
};

// The slicer driver of this platform: a thread that time-stamps the changes of a serial port's
// CTS and DSR inputs into the ring. Linked with request code 1 and a standard port's base address
// (the IRQ is the system's business here), or any address when kSlicerPortVariable names the
// device; refuses anything else and ports that do not report their modem lines. The ring and its
// write index last as long as the object, so a new link goes on where the last one stopped.
class EdgeTimerDevice : public SlicerDevice {
 public:
  static constexpr int32_t kRingLength = 4096;

  explicit EdgeTimerDevice(ModemLinesOpener opener = SerialModemLines::Open);
  ~EdgeTimerDevice() override;
  EdgeTimerDevice(const EdgeTimerDevice&) = delete;
  EdgeTimerDevice& operator=(const EdgeTimerDevice&) = delete;

  bool Open() override { return true; }
  bool Control(int32_t code, const SlicerLinkRequest& request, SlicerLinkReply& reply) override;
  // Returns once the thread has stopped, also when no edge ever came.
  void Close() override;

  int32_t write_index() const { return write_index_.load(std::memory_order_acquire); }
  bool linked() const { return thread_.joinable(); }

 private:
  void Run(ModemSample start);
  void Store(uint16_t duration, uint8_t status);

  ModemLinesOpener opener_;
  std::unique_ptr<ModemLines> lines_;
  std::thread thread_;
  std::array<uint16_t, kRingLength> durations_{};
  std::array<uint8_t, kRingLength> statuses_{};
  std::atomic<int32_t> write_index_{0};
};

// The edge timer that kSlicerDeviceName names by default; never destroyed.
SlicerDevice& PlatformSlicerDevice();

}  // namespace sieve
