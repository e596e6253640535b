#include "decoder/soft_frame_decoder.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <limits>

namespace sieve {
namespace {

constexpr uint64_t kWindowMask = (uint64_t{1} << SoftFrameDecoder::kSyncBits) - 1;
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

// Bit i of the sync word, oldest first.
int SyncBit(int i) {
  return int((SoftFrameDecoder::kSyncWord >> (SoftFrameDecoder::kSyncBits - 1 - i)) & 1);
}

// +1 where the check bit sent with d(n) = 0 from state p (d(n-6) = 0) is a one, else -1.
constexpr std::array<float, kStates / 2> kCheckSign = [] {
  std::array<float, kStates / 2> signs{};
  for (int p = 0; p < kStates / 2; ++p) signs[size_t(p)] = CheckBit(p, 0) ? 1.0f : -1.0f;
  return signs;
}();

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
    const int bit = SyncBit(i);
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
  hard_window_ = ((hard_window_ << 1) | (soft > 0.0f ? 1 : 0)) & kWindowMask;
  // The soft correlation is only worth working out where the hard decisions come close.
  const int sync_mismatches = std::popcount(hard_window_ ^ kSyncWord);

  if (in_frame_) {
    block_[size_t(block_position_++)] = soft;
    if (block_position_ == kSyncBits && sync_mismatches >= kSyncBits - kClosingMismatches) {
      // The closing word is the inverted sync word in place of the next block.
      const Correlation closing = Correlate(block_.data());
      if (closing.mismatches >= kSyncBits - kClosingMismatches &&
          closing.correlation <= -kSyncCorrelation) {
        EndFrame(frame_sound_ && frame_error_ <= kMaxFrameError);
        return;
      }
    }
    if (block_position_ == kBlockSymbols) {
      block_position_ = 0;
      const BlockResult block = DecodeBlock(block_, {noise_sum_, noise_samples_});
      noise_sum_ += block.noise_ratio * kBlockSymbols;
      noise_samples_ += kBlockSymbols;
      corrections_ += block.disagreements;
      last_block_good_ = block.confident;
      frame_error_ += block.error_probability;
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

  if (sync_mismatches > kSyncMismatches) return;
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
    if (take) {
      StartFrame(sync.mismatches);
      // The sync word is known, so it gives the frame its first noise estimate.
      const float* oldest = window_.data() + window_position_;
      float signal = 0.0f;
      for (int i = 0; i < kSyncBits; ++i) signal += Signed(SyncBit(i), oldest[i]);
      signal /= kSyncBits;
      float noise = 0.0f;
      for (int i = 0; i < kSyncBits; ++i) {
        const float error = Signed(SyncBit(i), oldest[i]) - signal;
        noise += error * error;
      }
      noise_sum_ = signal > 0.0f ? noise / (signal * signal) : 0.0f;
      noise_samples_ = kSyncBits;
    }
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
  frame_error_ = 0.0f;
}

void SoftFrameDecoder::EndFrame(bool deliver) {
  in_frame_ = false;
  block_position_ = 0;
  bad_blocks_ = 0;
  if (deliver && store_count_ > 0 && output_ != nullptr) {
    output_count_ = FrameDecoder::AppendFrame(store_, store_count_, output_, output_count_);
  }
  store_count_ = 0;
}

SoftFrameDecoder::BlockResult SoftFrameDecoder::DecodeBlock(
    const std::array<float, kBlockSymbols>& received, NoiseEstimate earlier) {
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
  // The encoder restarts at every block (state 0); the block's end is open. States p and p | 32
  // differ only in d(n-6), lead to the same two next states and send opposite check bits, so
  // each step is 32 butterflies.
  using Metrics = std::array<float, kStates>;
  std::array<Metrics, kBlockDataBits + 1> forward;
  forward[0].fill(kUnreachable);
  forward[0][0] = 0.0f;
  for (int n = 0; n < kBlockDataBits; ++n) {
    const float data = code[size_t(2 * n)];
    const float check = code[size_t(2 * n + 1)];
    const Metrics& from = forward[size_t(n)];
    Metrics& to = forward[size_t(n + 1)];
    for (int p = 0; p < kStates / 2; ++p) {
      const float c = kCheckSign[size_t(p)] * check;  // the check's term for d(n) = 0 from p
      to[size_t(2 * p)] = std::max(from[size_t(p)] - data + c, from[size_t(p + 32)] - data - c);
      to[size_t(2 * p + 1)] = std::max(from[size_t(p)] + data - c, from[size_t(p + 32)] + data + c);
    }
  }

  std::array<float, kBlockDataBits> llr;
  Metrics backward;
  backward.fill(0.0f);
  for (int n = kBlockDataBits - 1; n >= 0; --n) {
    const float data = code[size_t(2 * n)];
    const float check = code[size_t(2 * n + 1)];
    const Metrics& from = forward[size_t(n)];
    Metrics earlier;
    float best0 = kUnreachable;
    float best1 = kUnreachable;
    for (int p = 0; p < kStates / 2; ++p) {
      const float c = kCheckSign[size_t(p)] * check;
      const float zero = backward[size_t(2 * p)] - data;
      const float one = backward[size_t(2 * p + 1)] + data;
      earlier[size_t(p)] = std::max(zero + c, one - c);
      earlier[size_t(p + 32)] = std::max(zero - c, one + c);
      best0 =
          std::max(best0, std::max(from[size_t(p)] + zero + c, from[size_t(p + 32)] + zero - c));
      best1 = std::max(best1, std::max(from[size_t(p)] + one - c, from[size_t(p + 32)] + one + c));
    }
    backward = earlier;
    llr[size_t(n)] = best1 - best0;
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
  // One block's own noise estimate is rough; pooled with the frame's earlier symbols it keeps a
  // lucky block from looking cleaner than the channel is.
  const float own = noise / kBlockSymbols;
  const float pooled =
      (earlier.ratio_sum + (own / std::max(amplitude * amplitude, 1e-30f)) * kBlockSymbols) /
      float(earlier.samples + kBlockSymbols) * amplitude * amplitude;
  const float variance = std::max({own, pooled, kNoiseFloor * amplitude * amplitude + 1e-30f});
  result.noise_ratio = amplitude > 0.0f ? own / (amplitude * amplitude) : 1.0f;

  // Between two paths the log-likelihoods differ by A * (metric difference) / sigma^2, so each
  // byte bit's margin gives the chance that the search chose it wrongly.
  const float scale = amplitude > 0.0f ? amplitude / variance : 0.0f;
  for (int n = 0; n < kUsedDataBits; ++n) {
    result.error_probability +=
        1.0f / (1.0f + std::exp(std::min(scale * std::fabs(llr[size_t(n)]), 80.0f)));
  }

  for (int k = 0; k < kBlockBytes; ++k) {
    uint8_t byte = 0;
    for (int b = 0; b < 8; ++b) byte |= uint8_t(bits[size_t(8 * k + b)] << b);
    result.bytes[size_t(k)] = byte;
  }
  result.confident =
      result.disagreements <= kMaxBlockDisagreements && result.error_probability <= kMaxBlockError;
  return result;
}

}  // namespace sieve
