#include "decoder/soft_frame_decoder.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <limits>

namespace sieve {
namespace {

constexpr int kInterleaveRows = 16;
constexpr int kInterleaveColumns = 7;
constexpr int kUsedDataBits = 48;
constexpr int kStates = 64;  // the code's memory: the six previous data bits
constexpr float kUnreachable = -std::numeric_limits<float>::infinity();
constexpr float kNoiseFloor = 1e-6f;  // relative: keeps a noiseless block's ratio finite

// State s holds d(n-1) in bit 0 up to d(n-6) in bit 5. The check bit sent with d(n) makes
// d(n) ^ d(n-2) ^ d(n-5) ^ d(n-6) ^ c(n) odd.
constexpr int CheckBit(int state, int data) {
  return 1 ^ data ^ ((state >> 1) & 1) ^ ((state >> 4) & 1) ^ ((state >> 5) & 1);
}

float Signed(int bit, float value) { return bit ? value : -value; }

}  // namespace

void SoftFrameDecoder::BeginCall(uint8_t* output) {
  output_ = output;
  output_count_ = 0;
  corrections_ = 0;
}

SoftFrameDecoder::Correlation SoftFrameDecoder::Correlate(const float* oldest_first) {
  Correlation result{0, 0.0f};
  float sum = 0.0f;
  float magnitude = 0.0f;
  for (int i = 0; i < kSyncBits; ++i) {
    const int bit = int((kSyncWord >> (kSyncBits - 1 - i)) & 1);
    const float value = oldest_first[i];
    const float aligned = Signed(bit, value);
    sum += aligned;
    magnitude += std::fabs(value);
    if (aligned < 0.0f || (aligned == 0.0f && bit == 1)) ++result.mismatches;
  }
  result.correlation = magnitude > 0.0f ? sum / magnitude : 0.0f;
  return result;
}

void SoftFrameDecoder::ProcessSoftBit(float soft) {
  if (!std::isfinite(soft)) soft = 0.0f;
  window_[size_t(window_position_)] = soft;
  window_[size_t(window_position_ + kSyncBits)] = soft;
  window_position_ = (window_position_ + 1) % kSyncBits;

  if (in_frame_) {
    block_[size_t(block_position_++)] = soft;
    if (block_position_ == kSyncBits) {
      // The closing word is the inverted sync word in place of the next block.
      const Correlation closing = Correlate(block_.data());
      if (closing.mismatches >= kSyncBits - kClosingMismatches &&
          closing.correlation <= -kSyncCorrelation) {
        EndFrame(frame_sound_);
        return;
      }
    }
    if (block_position_ == kBlockSymbols) {
      block_position_ = 0;
      const BlockResult block = DecodeBlock(block_);
      corrections_ += block.disagreements;
      last_block_good_ = block.confident;
      if (block.confident) {
        bad_blocks_ = 0;
        ++good_blocks_;
        for (uint8_t byte : block.bytes) {
          if (store_count_ < kMaxFrameBytes) store_[size_t(store_count_++)] = byte;
        }
      } else {
        frame_sound_ = false;
        if (++bad_blocks_ > 1) {
          EndFrame(false);
          return;
        }
      }
    }
  }

  const Correlation sync = Correlate(window_.data() + window_position_);
  if (sync.mismatches <= kSyncMismatches && sync.correlation >= kSyncCorrelation) {
    // Inside a frame a weaker word is far likelier to be data that happens to resemble it: a
    // frame still in its first block gives way only to a better match than its own sync word,
    // one that is decoding well only to an unmistakable one.
    bool take = true;
    if (in_frame_) {
      take = good_blocks_ == 0 && bad_blocks_ == 0
                 ? sync.mismatches < sync_mismatches_
                 : sync.mismatches <= kStrongSyncMismatches || !last_block_good_;
    }
    if (take) StartFrame(sync.mismatches);
  }
}

void SoftFrameDecoder::StartFrame(int mismatches) {
  in_frame_ = true;
  sync_mismatches_ = mismatches;
  block_position_ = 0;
  frame_sound_ = true;
  last_block_good_ = false;
  good_blocks_ = 0;
  bad_blocks_ = 0;
  store_count_ = 0;
}

void SoftFrameDecoder::EndFrame(bool deliver) {
  in_frame_ = false;
  block_position_ = 0;
  bad_blocks_ = 0;
  if (deliver && store_count_ > 0 && output_ != nullptr) {
    const int padded = (store_count_ + kGroupBytes - 1) / kGroupBytes * kGroupBytes;
    std::fill(store_.begin() + store_count_, store_.begin() + padded, uint8_t{0});
    std::memcpy(output_ + output_count_, store_.data(), size_t(padded));
    output_count_ += padded;
    while (output_count_ > 1 && output_[output_count_ - 1] == 0) --output_count_;
  }
  store_count_ = 0;
}

SoftFrameDecoder::BlockResult SoftFrameDecoder::DecodeBlock(
    const std::array<float, kBlockSymbols>& received) {
  // Back into code order: pair n is (data, check) at code positions 2n and 2n + 1.
  std::array<float, kBlockSymbols> code;
  for (int row = 0; row < kInterleaveRows; ++row) {
    for (int column = 0; column < kInterleaveColumns; ++column) {
      code[size_t(row * kInterleaveColumns + column)] =
          received[size_t(column * kInterleaveRows + row)];
    }
  }

  // Max-log forward and backward passes: the forward pass alone is the Viterbi search; the
  // backward pass gives every data bit its margin against the best path that differs in it.
  // The encoder restarts at every block (state 0); the block's end is open.
  using Metrics = std::array<float, kStates>;
  std::array<Metrics, kBlockDataBits + 1> forward;
  forward[0].fill(kUnreachable);
  forward[0][0] = 0.0f;
  for (int n = 0; n < kBlockDataBits; ++n) {
    const float data = code[size_t(2 * n)];
    const float check = code[size_t(2 * n + 1)];
    for (int next = 0; next < kStates; ++next) {
      const int bit = next & 1;
      const int low = next >> 1;  // predecessor with d(n-6) = 0; the other has it set
      const float branch = Signed(bit, data) + Signed(CheckBit(low, bit), check);
      // The two predecessors differ only in d(n-6), which flips the check bit.
      const float from_low = forward[size_t(n)][size_t(low)] + branch;
      const float from_high =
          forward[size_t(n)][size_t(low | 32)] + (branch - 2 * Signed(CheckBit(low, bit), check));
      forward[size_t(n + 1)][size_t(next)] = std::max(from_low, from_high);
    }
  }

  std::array<float, kBlockDataBits> llr;
  Metrics backward;
  backward.fill(0.0f);
  for (int n = kBlockDataBits - 1; n >= 0; --n) {
    const float data = code[size_t(2 * n)];
    const float check = code[size_t(2 * n + 1)];
    Metrics earlier;
    float best[2] = {kUnreachable, kUnreachable};
    for (int state = 0; state < kStates; ++state) {
      float state_best = kUnreachable;
      for (int bit = 0; bit < 2; ++bit) {
        const int next = ((state << 1) | bit) & (kStates - 1);
        const float tail =
            Signed(bit, data) + Signed(CheckBit(state, bit), check) + backward[size_t(next)];
        state_best = std::max(state_best, tail);
        best[bit] = std::max(best[bit], forward[size_t(n)][size_t(state)] + tail);
      }
      earlier[size_t(state)] = state_best;
    }
    backward = earlier;
    llr[size_t(n)] = best[1] - best[0];
  }

  // Re-encode the decisions to count what was corrected and to estimate signal and noise.
  BlockResult result;
  std::array<uint8_t, kBlockDataBits> bits{};
  int state = 0;
  float signal = 0.0f;
  for (int n = 0; n < kBlockDataBits; ++n) {
    const int bit = llr[size_t(n)] > 0.0f ? 1 : 0;
    bits[size_t(n)] = uint8_t(bit);
    const int check = CheckBit(state, bit);
    const float data_value = Signed(bit, code[size_t(2 * n)]);
    const float check_value = Signed(check, code[size_t(2 * n + 1)]);
    if (data_value < 0.0f) ++result.disagreements;
    if (check_value < 0.0f) ++result.disagreements;
    signal += data_value + check_value;
    state = ((state << 1) | bit) & (kStates - 1);
  }
  const float amplitude = signal / kBlockSymbols;
  state = 0;
  float noise = 0.0f;
  for (int n = 0; n < kBlockDataBits; ++n) {
    const int bit = bits[size_t(n)];
    const float d = code[size_t(2 * n)] - Signed(bit, amplitude);
    const float c = code[size_t(2 * n + 1)] - Signed(CheckBit(state, bit), amplitude);
    noise += d * d + c * c;
    state = ((state << 1) | bit) & (kStates - 1);
  }
  const float variance =
      std::max(noise / kBlockSymbols, kNoiseFloor * amplitude * amplitude + 1e-30f);

  float weakest = std::numeric_limits<float>::infinity();
  for (int n = 0; n < kUsedDataBits; ++n) weakest = std::min(weakest, std::fabs(llr[size_t(n)]));
  // Between two paths the log-likelihoods differ by A * (metric difference) / sigma^2.
  const float weakest_llr = amplitude > 0.0f ? amplitude * weakest / variance : 0.0f;

  for (int k = 0; k < kBlockBytes; ++k) {
    uint8_t byte = 0;
    for (int b = 0; b < 8; ++b) byte |= uint8_t(bits[size_t(8 * k + b)] << b);
    result.bytes[size_t(k)] = byte;
  }
  result.confident = result.disagreements <= kMaxBlockDisagreements && weakest_llr >= kMinBitLlr;
  return result;
}

}  // namespace sieve
