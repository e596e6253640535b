#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace mdcgen {

// One bit per element (0 or 1), in the order of transmission.
using Bits = std::vector<uint8_t>;
using Bytes = std::vector<uint8_t>;

inline constexpr uint64_t kSyncWord = 0x07092A446Full;  // sent most significant bit first
inline constexpr int kSyncBits = 40;
// A window this close to the sync word starts a frame; one this close to its complement ends it.
inline constexpr int kSyncTolerance = 4;
inline constexpr int kBlockBytes = 6;
inline constexpr int kBlockDataBits = 56;  // 48 carry the bytes, the last 8 are sent as zeros
inline constexpr int kBlockBits = 112;
inline constexpr int kInterleaveRows = 16;
inline constexpr int kInterleaveColumns = 7;
// A receiver keeps at most 999 bytes of a frame; longer frames are still encoded, up to 168 blocks.
inline constexpr size_t kReceiverFrameBytes = 999;
inline constexpr size_t kMaxFrameBytes = 1008;
// Alternating bits give the receiver's bit clock a run of one bit to lock on to every other bit,
// and every window over them differs from the sync word in 17 to 24 bits.
inline constexpr int kPreambleBits = 48;
// Keeps the line moving after the closing word so the receiver emits its last bits.
inline constexpr int kTrailerBits = 16;

using Block = std::array<uint8_t, kBlockBits>;

// Encodes 6 bytes (byte k as data bits 8k..8k+7, least significant first) with the rate one-half
// code, restarting the encoder for the block, and interleaves the 112 coded bits 16 x 7.
Block EncodeBlock(std::span<const uint8_t, kBlockBytes> bytes);

struct EncodedFrame {
  Bits bits;
  size_t sync_end = 0;          // index of the last bit of the sync word
  size_t closing_sync_end = 0;  // index of the last bit of the inverted sync word
};

// Preamble, sync word, one block per 6 bytes (the last one padded with zeros), inverted sync
// word, trailer. Precondition: bytes.size() <= kMaxFrameBytes.
EncodedFrame EncodeFrame(std::span<const uint8_t> bytes);

// Length of EncodeFrame's bit stream for a frame of `bytes` bytes.
size_t EncodedFrameBits(size_t bytes);

// Number of bits in which a 40-bit window (newest bit in bit 0) differs from the sync word.
int SyncMismatch(uint64_t window);

// Indices of the bits that complete a 40-bit window the receiver would take for a sync word or
// for the end of the frame anywhere other than at the two real sync words; empty when the frame
// reads back unambiguously. Windows that reach before the first bit are not checked.
std::vector<size_t> FalseSyncs(const EncodedFrame& frame);

}  // namespace mdcgen
