#include "app/acquisition/audio_buffers.h"

#include <algorithm>
#include <cstring>

namespace kestrel {

void AudioBuffers::Reset() {
  completed_.store(0);
  queued_.store(kCount);
  dropped_.store(0);
  filling_ = 0;
  offset_ = 0;
}

void AudioBuffers::Write(std::span<const uint8_t> samples) {
  while (!samples.empty()) {
    if (queued_.load(std::memory_order_acquire) == 0) {
      dropped_.fetch_add(samples.size(), std::memory_order_relaxed);
      return;
    }
    const size_t n = std::min(samples.size(), kSize - offset_);
    std::memcpy(data_[size_t(filling_)].data() + offset_, samples.data(), n);
    offset_ += n;
    samples = samples.subspan(n);
    if (offset_ == kSize) {
      offset_ = 0;
      filling_ = (filling_ + 1) % kCount;
      queued_.fetch_sub(1, std::memory_order_acq_rel);
      completed_.fetch_add(1, std::memory_order_release);
    }
  }
}

}  // namespace kestrel
