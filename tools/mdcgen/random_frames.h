#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "mdcgen/frame_encoder.h"

namespace mdcgen {

inline constexpr size_t kRandomFrameMinBytes = 6;
inline constexpr size_t kRandomFrameMaxBytes = 300;

// `count` frames of random bytes, 6 to 300 long, drawn from `seed`. The last byte is never zero,
// because the receiver trims trailing zeros, and no frame holds a false sync word (FalseSyncs), so
// every frame reads back exactly.
std::vector<Bytes> RandomFrames(size_t count, uint64_t seed);

}  // namespace mdcgen
