#include "decoder/replay_slicer_device.h"

#include <algorithm>

namespace sieve {

ReplaySlicerDevice::ReplaySlicerDevice(int32_t ring_length)
    : durations_(size_t(std::max(ring_length, 1))), statuses_(durations_.size()) {}

bool ReplaySlicerDevice::Control(int32_t code, const SlicerLinkRequest&, SlicerLinkReply& reply) {
  if (code != kSlicerLinkRequestCode) return false;
  reply.durations = durations_.data();
  reply.statuses = statuses_.data();
  reply.write_index = &write_index_;
  reply.ring_length = ring_length();
  return true;
}

void ReplaySlicerDevice::Store(uint16_t duration, uint8_t status) {
  const int32_t index = write_index_.load(std::memory_order_relaxed);
  durations_[size_t(index)] = duration;
  statuses_[size_t(index)] = status;
  const int32_t next = index + 1 == ring_length() ? 0 : index + 1;
  write_index_.store(next, std::memory_order_release);
}

}  // namespace sieve
