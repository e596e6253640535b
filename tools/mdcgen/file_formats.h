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
// and lines starting with # are skipped. Stops at the first bad line, a frame over kMaxFrameBytes
// or more than kMaxFrames frames, naming the line.
FrameList ParseFrames(std::string_view text);

// The inverse of ParseFrames: one line of upper-case hexadecimal per frame.
std::string FormatFrames(std::span<const Bytes> frames);

inline constexpr size_t kMaxMessageAddressBytes = 4;
// A shorter address is padded with leading zeros to this many hexadecimal digits.
inline constexpr size_t kMessageAddressDigits = 4;
inline constexpr size_t kMaxMessageBytes = 16000;

struct MessageLine {
  size_t line = 0;  // 1-based, for messages about it
  Bytes address;
  std::string text;
};

struct MessageList {
  std::vector<MessageLine> messages;
  std::string error;  // empty when the whole text was read
};

// One message per line: the terminal address in hexadecimal (1 to 4 bytes; fewer than four
// digits are padded with leading zeros, so "12" is 0x00 0x12), white space, then
// the text, in which \e, \r, \f, \\ and \xHH stand for ESC, carriage return, form feed, a
// backslash and any byte. Blank lines and lines starting with # are skipped. Stops at the first
// bad line, a text over kMaxMessageBytes or more than kMaxFrames messages, naming the line.
MessageList ParseMessages(std::string_view text);

}  // namespace mdcgen
