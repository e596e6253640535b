#pragma once

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <span>

namespace kestrel {

// The ten capture buffers between a sound device and the 250 ms poll. The device side (any one
// thread) writes samples into the buffers in turn while at least one is queued; the poll (the
// window thread) decodes the completed ones and queues them again. The completed count is the
// only thing both sides change, and both change it atomically.
class AudioBuffers {
 public:
  static constexpr int kCount = 10;
  static constexpr size_t kSize = 8192;

  // All ten queued and empty, nothing completed, the device's next buffer is number 1.
  void Reset();

  // Device side: appends 8-bit unsigned samples; each buffer that fills is completed. Samples
  // that find no queued buffer (all ten wait for the poll) are dropped and counted.
  void Write(std::span<const uint8_t> samples);
  uint64_t Dropped() const { return dropped_.load(std::memory_order_relaxed); }

  // Poll side. Buffers are numbered 1 to 10.
  int Completed() const { return completed_.load(std::memory_order_acquire); }
  const uint8_t* Data(int number) const { return data_[number - 1].data(); }
  uint8_t* Data(int number) { return data_[number - 1].data(); }
  // Gives a processed buffer back to the device.
  void Requeue() { queued_.fetch_add(1, std::memory_order_release); }
  // The poll processed `n` completed buffers; completions that arrived meanwhile stay counted.
  void SubtractCompleted(int n) { completed_.fetch_sub(n, std::memory_order_acq_rel); }

 private:
  std::array<std::array<uint8_t, kSize>, kCount> data_{};
  std::atomic<int> completed_{0};
  std::atomic<int> queued_{kCount};
  std::atomic<uint64_t> dropped_{0};
  // Device side only.
  int filling_ = 0;    // index of the buffer being filled
  size_t offset_ = 0;  // samples already in it
};

}  // namespace kestrel
