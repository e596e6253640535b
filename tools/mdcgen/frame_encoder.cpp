#include "mdcgen/frame_encoder.h"

#include <bit>

namespace mdcgen {
namespace {

constexpr uint64_t kWindowMask = (uint64_t{1} << kSyncBits) - 1;

void AppendWord(Bits& bits, uint64_t word) {
  for (int i = kSyncBits - 1; i >= 0; --i) bits.push_back((word >> i) & 1);
}

}  // namespace

Block EncodeBlock(std::span<const uint8_t, kBlockBytes> bytes) {
  std::array<uint8_t, kBlockDataBits> data{};
  for (int k = 0; k < kBlockBytes; ++k) {
    for (int j = 0; j < 8; ++j) data[8 * k + j] = (bytes[k] >> j) & 1;
  }
  auto d = [&data](int n) -> uint8_t { return n < 0 ? 0 : data[n]; };

  std::array<uint8_t, kBlockBits> coded{};
  for (int n = 0; n < kBlockDataBits; ++n) {
    coded[2 * n] = d(n);
    // The receiver counts a check as failed when this sum is even, so the check bit makes it odd.
    coded[2 * n + 1] = 1 ^ d(n) ^ d(n - 2) ^ d(n - 5) ^ d(n - 6);
  }

  Block block{};
  for (int row = 0; row < kInterleaveRows; ++row) {
    for (int column = 0; column < kInterleaveColumns; ++column) {
      block[column * kInterleaveRows + row] = coded[row * kInterleaveColumns + column];
    }
  }
  return block;
}

EncodedFrame EncodeFrame(std::span<const uint8_t> bytes) {
  const size_t blocks = (bytes.size() + kBlockBytes - 1) / kBlockBytes;
  EncodedFrame frame;
  frame.bits.reserve(EncodedFrameBits(bytes.size()));
  for (int i = 0; i < kPreambleBits; ++i) frame.bits.push_back((i + 1) & 1);
  AppendWord(frame.bits, kSyncWord);
  frame.sync_end = frame.bits.size() - 1;

  for (size_t b = 0; b < blocks; ++b) {
    std::array<uint8_t, kBlockBytes> chunk{};
    for (size_t k = 0; k < kBlockBytes && b * kBlockBytes + k < bytes.size(); ++k) {
      chunk[k] = bytes[b * kBlockBytes + k];
    }
    const Block block = EncodeBlock(chunk);
    frame.bits.insert(frame.bits.end(), block.begin(), block.end());
  }

  AppendWord(frame.bits, ~kSyncWord & kWindowMask);
  frame.closing_sync_end = frame.bits.size() - 1;
  for (int i = 0; i < kTrailerBits; ++i) frame.bits.push_back((i + 1) & 1);
  return frame;
}

size_t EncodedFrameBits(size_t bytes) {
  const size_t blocks = (bytes + kBlockBytes - 1) / kBlockBytes;
  return kPreambleBits + 2 * kSyncBits + blocks * kBlockBits + kTrailerBits;
}

int SyncMismatch(uint64_t window) { return std::popcount((window ^ kSyncWord) & kWindowMask); }

std::vector<size_t> FalseSyncs(const EncodedFrame& frame) {
  std::vector<size_t> found;
  uint64_t window = 0;
  for (size_t i = 0; i < frame.bits.size(); ++i) {
    window = ((window << 1) | frame.bits[i]) & kWindowMask;
    if (i + 1 < kSyncBits || i == frame.sync_end || i == frame.closing_sync_end) continue;
    const int mismatch = SyncMismatch(window);
    const bool starts = mismatch <= kSyncTolerance;
    const bool ends = mismatch >= kSyncBits - kSyncTolerance;
    // After the closing word the receiver is out of the frame, where only a start matters.
    if (starts || (ends && i < frame.closing_sync_end)) found.push_back(i);
  }
  return found;
}

}  // namespace mdcgen
