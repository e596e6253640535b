#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "mdcgen/frame_encoder.h"
#include "mdcgen/signal.h"

namespace mdcgen {

inline constexpr size_t kMaxFrames = 100000;

// A complete RIFF/WAVE file: 8-bit unsigned mono PCM at `rate` samples per second.
Bytes WavFile(std::span<const uint8_t> pcm, int rate);

// One "duration status" line (decimal) per entry.
std::string SlicerText(std::span<const SlicerEntry> entries);

struct FrameList {
  std::vector<Bytes> frames;
  std::string error;  // empty when the whole text was read
};

// One frame per line in hexadecimal; white space may separate groups of whole bytes, blank lines
// are skipped. Stops at the first bad line, a frame over kMaxFrameBytes or more than kMaxFrames
// frames, naming the line.
FrameList ParseFrames(std::string_view text);

// The inverse of ParseFrames: one line of upper-case hexadecimal per frame.
std::string FormatFrames(std::span<const Bytes> frames);

}  // namespace mdcgen
