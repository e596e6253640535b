#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <string_view>

namespace sieve {

// The slicer driver's contract. A device is opened by name, linked with request code 1 and the
// port's IRQ and base I/O address, and from then on fills two parallel rings asynchronously: one
// entry per period of constant input level, the period's length in 838 ns ticks and the serial
// port's modem status byte in the 8250 layout. It advances the write index past each complete
// entry, wraps at the ring length, and stops when closed. Devices live as long as the process, so
// a ring and its write index carry on from one link to the next.

inline constexpr std::string_view kSlicerDeviceName = "\\\\.\\SLICER.VXD";
inline constexpr int32_t kSlicerLinkRequestCode = 1;
inline constexpr double kSlicerTickNs = 1e9 / 1193182.0;  // the PC interval timer's tick

// Modem status register bits.
inline constexpr uint8_t kStatusCtsChanged = 0x01;
inline constexpr uint8_t kStatusCts = 0x10;
inline constexpr uint8_t kStatusDsr = 0x20;

struct SlicerLinkRequest {
  int32_t irq = 0;
  int32_t base_address = 0;
};

struct SlicerLinkReply {
  const uint16_t* durations = nullptr;
  const uint8_t* statuses = nullptr;
  const std::atomic<int32_t>* write_index = nullptr;
  int32_t ring_length = 0;
};

class SlicerDevice {
 public:
  virtual ~SlicerDevice() = default;
  // Loads the driver; false when it cannot be opened.
  virtual bool Open() = 0;
  // Answers a device control request; false when the request is refused.
  virtual bool Control(int32_t code, const SlicerLinkRequest& request, SlicerLinkReply& reply) = 0;
  // Stops filling the ring and unloads the driver. Harmless when not open.
  virtual void Close() = 0;
};

// Finds the device of a name; nullptr when there is none.
using SlicerDeviceLookup = std::function<SlicerDevice*(std::string_view name)>;

// The process's devices: kSlicerDeviceName names this platform's edge timer until another device
// is registered under it (the tools register a replay device). Not thread-safe; register before
// the first InstallSlicerDriver.
SlicerDevice* FindSlicerDevice(std::string_view name);
void RegisterSlicerDevice(std::string_view name, SlicerDevice* device);

}  // namespace sieve
