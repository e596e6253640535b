#include "decoder/frame_decoder.h"

#include <algorithm>
#include <bit>
#include <cstring>

namespace sieve {
namespace {

constexpr uint64_t kCorrelatorMask = (uint64_t{1} << 40) - 1;
constexpr int kSyncBits = 40;
constexpr int kInterleaveRows = 16;
constexpr int kInterleaveColumns = 7;

bool IsOne(uint8_t symbol) { return symbol == '1'; }

}  // namespace

void FrameDecoder::BeginCall(uint8_t* output) {
  output_ = output;
  output_count_ = 0;
  corrections_ = 0;
}

void FrameDecoder::ProcessBit(uint8_t symbol) {
  if (in_frame_) {
    block_[block_position_++] = symbol;
    if (block_position_ == kBlockSymbols) {
      block_position_ = 0;
      if (DecodeBlock() > kBadBlockChecks) {
        if (++bad_blocks_ > 1) {
          in_frame_ = false;
          FlushFrame();
          bad_blocks_ = 0;
        }
      } else {
        bad_blocks_ = 0;
      }
    }
  }

  correlator_ = ((correlator_ << 1) | (IsOne(symbol) ? 1 : 0)) & kCorrelatorMask;
  const int mismatch = std::popcount(correlator_ ^ kSyncWord);
  if (mismatch <= kSyncTolerance) {
    block_position_ = 0;
    in_frame_ = true;
  } else if (mismatch >= kSyncBits - kSyncTolerance) {
    if (in_frame_) FlushFrame();
    in_frame_ = false;
    block_position_ = 0;
    // One transmission's bad last block must not cut the next one short.
    bad_blocks_ = 0;
  }
}

int FrameDecoder::DecodeBlock() {
  // d(n) and c(n) are the data and check bits of pair n. A check passes when
  // c(n) ^ d(n) ^ d(n-2) ^ d(n-5) ^ d(n-6) is 1; d(n-6) is in the checks of pairs n, n-1, n-4 and
  // n-6, so three or four of those failing point at it.
  std::array<uint8_t, kBlockDataSymbols> data;
  uint32_t r = 0;  // the last 15 symbols as bits, newest in bit 0
  uint32_t s = 0;  // failed checks, newest pair in bit 0
  int failed = 0;
  int n = 0;
  for (int row = 0; row < kInterleaveRows; ++row) {
    for (int column = 0; column < kInterleaveColumns; ++column) {
      const uint8_t symbol = block_[column * kInterleaveRows + row];
      r = ((r & 0x3FFF) << 1) | (IsOne(symbol) ? 1 : 0);
      if (((row * kInterleaveColumns + column) & 1) == 0) {
        data[n++] = symbol;
        continue;
      }
      const uint32_t parity = (r >> 13) ^ (r >> 11) ^ (r >> 5) ^ (r >> 1) ^ r;
      s <<= 1;
      if ((parity & 1) == 0) {
        s |= 1;
        ++failed;
      }
      if (std::popcount(s & 0x53) >= 3) {
        s ^= 0x53;
        ++corrections_;
        // Early in a block the target precedes the block; only the syndrome changes then.
        if (n >= 7) data[n - 7] ^= 1;
      }
    }
  }

  if (failed < kUnusableBlockChecks) {
    for (int k = 0; k < kBlockBytes; ++k) {
      uint8_t byte = 0;
      for (int b = 0; b < 8; ++b) {
        if (IsOne(data[8 * k + b])) byte |= uint8_t(1u << b);
      }
      // Bytes beyond the frame's limit are dropped.
      if (store_count_ < kMaxFrameBytes) store_[store_count_++] = byte;
    }
  }
  return failed;
}

int FrameDecoder::AppendFrame(std::array<uint8_t, kMaxFrameOutput>& store, int count,
                              uint8_t* output, int output_count) {
  const int padded = (count + kGroupBytes - 1) / kGroupBytes * kGroupBytes;
  std::fill(store.begin() + count, store.begin() + padded, uint8_t{0});
  std::memcpy(output + output_count, store.data(), size_t(padded));
  output_count += padded;
  while (output_count > 1 && output[output_count - 1] == 0) --output_count;
  return output_count;
}

void FrameDecoder::FlushFrame() {
  output_count_ = AppendFrame(store_, store_count_, output_, output_count_);
  store_count_ = 0;
}

}  // namespace sieve
