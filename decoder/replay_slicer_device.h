#pragma once

#include <atomic>
#include <cstdint>
#include <vector>

#include "decoder/slicer_device.h"

namespace sieve {

// A slicer driver that plays back recorded periods: whatever is stored appears in the ring as if
// the line had just produced it. For tests and tools; no thread, nothing to stop.
class ReplaySlicerDevice : public SlicerDevice {
 public:
  // A ring of `ring_length` entries; less than 1 is taken as 1.
  explicit ReplaySlicerDevice(int32_t ring_length);

  bool Open() override { return true; }
  // Accepts the link request (code 1) with any IRQ and base address.
  bool Control(int32_t code, const SlicerLinkRequest& request, SlicerLinkReply& reply) override;
  void Close() override {}

  // Writes one period (duration in 838 ns ticks, status byte in the 8250 modem-status layout) at
  // the write index and advances it, wrapping at the ring's end. Overwrites entries not yet read
  // when more than the ring's length is stored between two reads, as the driver would.
  void Store(uint16_t duration, uint8_t status);

  int32_t write_index() const { return write_index_.load(std::memory_order_acquire); }
  int32_t ring_length() const { return int32_t(durations_.size()); }

 private:
  std::vector<uint16_t> durations_;
  std::vector<uint8_t> statuses_;
  std::atomic<int32_t> write_index_{0};
};

}  // namespace sieve
