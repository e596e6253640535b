#pragma once

#include <array>
#include <cstdint>

namespace sieve {

// MDC-4800 frame stage: finds frames with a 40-bit correlator, cuts them into 112-bit blocks,
// de-interleaves them (16 x 7), corrects them with the rate one-half code by majority logic and
// delivers each finished frame's bytes into the output buffer of the current decoding call.
// Its state survives from call to call; only the output and the corrections are per call.
class FrameDecoder {
 public:
  static constexpr uint64_t kSyncWord = 0x07092A446Full;  // oldest bit first
  static constexpr int kSyncTolerance = 4;                // differing bits still accepted
  static constexpr int kBlockSymbols = 112;
  static constexpr int kBlockDataSymbols = 56;
  static constexpr int kBlockBytes = 6;
  static constexpr int kMaxFrameBytes = 999;
  static constexpr int kGroupBytes = 18;
  static constexpr int kMaxFrameOutput = 1008;  // 999 bytes padded to 56 groups
  static constexpr int kUnusableBlockChecks =
      12;                                     // from this many failed checks a block is dropped
  static constexpr int kBadBlockChecks = 20;  // above this many a block counts as bad

  // Starts a decoding call: frames that end from now on go to `output`.
  void BeginCall(uint8_t* output);
  void ProcessBit(uint8_t symbol);

  int output_count() const { return output_count_; }
  int corrections() const { return corrections_; }
  bool in_frame() const { return in_frame_; }

  // Appends a finished frame's `count` stored bytes at `output + output_count`, zero-padded to
  // whole groups, trims the call's trailing zeros and returns the new output count.
  static int AppendFrame(std::array<uint8_t, kMaxFrameOutput>& store, int count, uint8_t* output,
                         int output_count);

 private:
  // Decodes the collected block and returns its failed-check count; keeps its bytes when usable.
  int DecodeBlock();
  void FlushFrame();

  uint64_t correlator_ = 0;  // the last 40 bits, newest in bit 0
  bool in_frame_ = false;
  int block_position_ = 0;
  std::array<uint8_t, kBlockSymbols> block_{};
  int bad_blocks_ = 0;
  std::array<uint8_t, kMaxFrameOutput> store_{};
  int store_count_ = 0;

  uint8_t* output_ = nullptr;
  int output_count_ = 0;
  int corrections_ = 0;
};

}  // namespace sieve
