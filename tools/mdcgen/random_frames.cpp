#include "mdcgen/random_frames.h"

#include <random>

namespace mdcgen {

std::vector<Bytes> RandomFrames(size_t count, uint64_t seed) {
  std::mt19937_64 engine(seed);
  std::vector<Bytes> frames;
  frames.reserve(count);
  while (frames.size() < count) {
    const size_t length =
        kRandomFrameMinBytes + engine() % (kRandomFrameMaxBytes - kRandomFrameMinBytes + 1);
    Bytes frame(length);
    for (uint8_t& byte : frame) byte = static_cast<uint8_t>(engine());
    frame.back() = static_cast<uint8_t>(1 + engine() % 255);
    if (FalseSyncs(EncodeFrame(frame)).empty()) frames.push_back(std::move(frame));
  }
  return frames;
}

}  // namespace mdcgen
