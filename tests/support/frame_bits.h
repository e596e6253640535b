#pragma once

#include <array>
#include <cstdint>
#include <vector>

namespace sieve_test {

// Bits as the frame stage receives them (0/1), written straight from the code's equations so
// the decoder is checked against an independent encoder.
using Bits = std::vector<uint8_t>;

inline void Append(Bits& bits, uint64_t word, int count) {
  for (int i = count - 1; i >= 0; --i) bits.push_back(uint8_t((word >> i) & 1));
}

inline Bits SyncBits(uint64_t flips = 0) {
  Bits bits;
  Append(bits, 0x07092A446Full ^ flips, 40);
  return bits;
}

inline Bits EndBits(uint64_t flips = 0) {
  Bits bits;
  Append(bits, ~0x07092A446Full ^ flips, 40);
  return bits;
}

// One 112-bit block carrying six bytes, in transmitted (interleaved) order. `flip_checks`
// inverts the check bits of the first so many pairs; `flip_data` inverts one data bit (-1: none).
inline Bits BlockBits(const std::array<uint8_t, 6>& bytes, int flip_checks = 0,
                      int flip_data = -1) {
  std::array<uint8_t, 56> d{};
  for (int k = 0; k < 6; ++k)
    for (int b = 0; b < 8; ++b) d[8 * k + b] = (bytes[k] >> b) & 1;
  const auto at = [&](int n) { return n < 0 ? 0 : d[n]; };
  std::array<uint8_t, 112> pairs{};
  for (int n = 0; n < 56; ++n) {
    pairs[2 * n] = d[n];
    pairs[2 * n + 1] = 1 ^ at(n) ^ at(n - 2) ^ at(n - 5) ^ at(n - 6) ^ (n < flip_checks ? 1 : 0);
  }
  if (flip_data >= 0) pairs[2 * flip_data] ^= 1;
  Bits bits(112);
  for (int row = 0; row < 16; ++row)
    for (int column = 0; column < 7; ++column) bits[column * 16 + row] = pairs[row * 7 + column];
  return bits;
}

inline Bits Concat(std::initializer_list<Bits> parts) {
  Bits all;
  for (const Bits& part : parts) all.insert(all.end(), part.begin(), part.end());
  return all;
}

}  // namespace sieve_test
