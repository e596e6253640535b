#pragma once

#include <cmath>
#include <cstdint>
#include <vector>

#include "support/frame_bits.h"

namespace sieve_test {

// Alternating bits, starting with a one, that let the bit clock lock before a sync word.
inline Bits Preamble(int count = 48) {
  Bits bits;
  for (int i = 0; i < count; ++i) bits.push_back(uint8_t((i + 1) & 1));
  return bits;
}

// Ideal square-wave samples: `one` while a one bit is sent, `zero` otherwise.
inline std::vector<int8_t> Samples(const Bits& bits, double samples_per_bit, int8_t one,
                                   int8_t zero) {
  std::vector<int8_t> samples;
  const auto count = size_t(std::floor(bits.size() * samples_per_bit));
  for (size_t i = 0; i < count; ++i) {
    samples.push_back(bits[size_t(i / samples_per_bit)] ? one : zero);
  }
  return samples;
}

// RM100 bytes at four samples a bit, the first sample in the least significant bit.
inline std::vector<uint8_t> RM100Bytes(const Bits& bits) {
  std::vector<uint8_t> bytes((bits.size() * 4 + 7) / 8, 0);
  for (size_t i = 0; i < bits.size() * 4; ++i) {
    if (bits[i / 4]) bytes[i / 8] |= uint8_t(1u << (i % 8));
  }
  return bytes;
}

}  // namespace sieve_test
