#pragma once

#include <array>
#include <cstdint>

#include "decoder/frame_decoder.h"

namespace sieve {

// The robust frame stage: takes one soft bit per bit period (positive = a one, the magnitude its
// confidence), finds the sync word by soft correlation, decodes every 112-bit block with a
// maximum-likelihood (Viterbi) search over the rate one-half code, and delivers a frame only when
// every one of its blocks decoded with confidence and its closing word arrived at a block
// boundary. A frame that falls short of that is dropped whole, so no delivered byte is a guess.
// Output shape as FrameDecoder's: 18-byte groups, the call's trailing zeros trimmed.
// Not thread-safe; the state survives from call to call.
class SoftFrameDecoder {
 public:
  static constexpr uint64_t kSyncWord = FrameDecoder::kSyncWord;
  static constexpr int kSyncBits = 40;
  static constexpr int kBlockSymbols = FrameDecoder::kBlockSymbols;
  static constexpr int kBlockDataBits = FrameDecoder::kBlockDataSymbols;
  static constexpr int kBlockBytes = FrameDecoder::kBlockBytes;
  static constexpr int kMaxFrameBytes = FrameDecoder::kMaxFrameBytes;
  static constexpr int kMaxFrameOutput = FrameDecoder::kMaxFrameOutput;
  // A 40-bit window is taken for the sync word (or, at a block boundary, for the closing word)
  // with at most this many hard-decision mismatches and a normalised soft correlation of at least
  // kSyncCorrelation. A window this strong also re-aligns a frame whose blocks are going well.
  static constexpr int kSyncMismatches = 6;
  static constexpr int kClosingMismatches = 5;
  static constexpr int kStrongSyncMismatches = 2;
  static constexpr float kSyncCorrelation = 0.6f;
  // A block is trusted when its decoded code word disagrees with at most this many of the 112
  // hard decisions and the chance that any of its 48 byte bits is wrong, from each bit's path
  // metric margin (the best path against the best one with that bit flipped, scaled by the
  // block's signal and noise), is at most kMaxBlockError; a frame is delivered when the sum over
  // its blocks is at most kMaxFrameError.
  static constexpr int kMaxBlockDisagreements = 14;
  static constexpr float kMaxBlockError = 1e-4f;
  static constexpr float kMaxFrameError = 1e-3f;

  // Starts a decoding call: frames that end from now on go to `output`, which must have room for
  // the call's share (see sieve.h).
  void BeginCall(uint8_t* output);
  void ProcessSoftBit(float soft);

  int output_count() const { return output_count_; }
  // Code bits the soft decoder flipped during this call, over every block it decoded.
  int corrections() const { return corrections_; }
  bool in_frame() const { return in_frame_; }

  struct BlockResult {
    std::array<uint8_t, kBlockBytes> bytes{};
    int disagreements = 0;           // hard decisions that differ from the decoded code word
    float error_probability = 0.0f;  // that some byte bit is wrong
    float noise_ratio = 0.0f;        // noise variance over squared amplitude
    bool confident = false;
  };
  // Noise seen before a block in the same frame: the sum over symbols of the noise variance
  // relative to the squared amplitude, and the number of symbols.
  struct NoiseEstimate {
    float ratio_sum;
    int samples;
  };
  // Decodes one received block (interleaved order, as it came off the air); its confidence test
  // assumes at least the noise of `earlier` pooled with the block's own.
  static BlockResult DecodeBlock(const std::array<float, kBlockSymbols>& received,
                                 NoiseEstimate earlier = {0.0f, 0});

 private:
  struct Correlation {
    int mismatches;     // against the sync word, hard decisions
    float correlation;  // against the sync word, -1..1
  };
  static Correlation Correlate(const float* oldest_first);
  void StartFrame(int mismatches);
  void EndFrame(bool deliver);

  std::array<float, 2 * kSyncBits> window_{};  // the last 40 soft bits, twice, for a flat read
  int window_position_ = 0;
  uint64_t hard_window_ = 0;  // the same bits' hard decisions, newest in bit 0

  bool in_frame_ = false;
  int block_position_ = 0;
  std::array<float, kBlockSymbols> block_{};
  bool frame_sound_ = true;  // no block of the frame has failed
  bool last_block_good_ = false;
  int sync_mismatches_ = 0;  // of the word that started the frame
  int good_blocks_ = 0;
  float frame_error_ = 0.0f;  // the blocks' error probabilities, summed
  // The frame's noise variance relative to the squared amplitude, over every symbol so far.
  float noise_sum_ = 0.0f;
  int noise_samples_ = 0;
  int bad_blocks_ = 0;  // consecutive
  std::array<uint8_t, kMaxFrameOutput> store_{};
  int store_count_ = 0;

  uint8_t* output_ = nullptr;
  int output_count_ = 0;
  int corrections_ = 0;
};

}  // namespace sieve
