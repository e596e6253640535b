// Decoding throughput of the audio path, exact and robust, against the speed of merely reading
// the same samples.
#include <benchmark/benchmark.h>

#include <cstring>
#include <random>
#include <vector>

#include "decoder/decoder.h"
#include "mdcgen/signal.h"

namespace {

constexpr int kRate = 44100;
constexpr int kBlock = 8192;  // the program's capture buffer

// Ten seconds of busy channel: random frames with short pauses, 15 dB SNR, slight drift.
const std::vector<int8_t>& NoisySignal() {
  static const std::vector<int8_t> signal = [] {
    std::mt19937 random(42);
    std::vector<mdcgen::Transmission> transmissions;
    while (transmissions.size() < 60) {
      mdcgen::Bytes frame(6 + random() % 120);
      for (auto& byte : frame) byte = uint8_t(random() | 1);
      transmissions.push_back({frame, 0.05});
    }
    mdcgen::SignalOptions options;
    options.snr_db = 15.0;
    options.drift_ppm = 100.0;
    const auto pcm = mdcgen::RenderPcm(mdcgen::ComposeTimeline(transmissions, 0.1), options, kRate);
    std::vector<int8_t> samples(pcm.size() / kBlock * kBlock);
    std::memcpy(samples.data(), pcm.data(), samples.size());
    return samples;
  }();
  return signal;
}

using AudioCall = int32_t (sieve::Decoder::*)(int8_t*, int32_t, uint8_t*, int32_t, int32_t, int32_t,
                                              int32_t, int32_t*, int32_t*, int32_t);

void DecodeAudio(benchmark::State& state, AudioCall call) {
  const auto& signal = NoisySignal();
  sieve::Decoder decoder(nullptr);
  std::vector<int8_t> work(kBlock);
  uint8_t output[8192];
  int32_t corrections, quality;
  int64_t bytes_decoded = 0;
  for (auto _ : state) {
    for (size_t offset = 0; offset < signal.size(); offset += kBlock) {
      // The exact decoder masks its input in place, so every call gets a fresh copy, as from a
      // capture.
      std::memcpy(work.data(), signal.data() + offset, kBlock);
      bytes_decoded += (decoder.*call)(work.data(), kBlock, output, kRate, 4800, '1', '0',
                                       &corrections, &quality, 0);
    }
  }
  state.SetItemsProcessed(state.iterations() * int64_t(signal.size()));
  state.counters["decoded_bytes_per_pass"] =
      benchmark::Counter(double(bytes_decoded) / double(state.iterations()));
  state.counters["realtime_factor"] = benchmark::Counter(
      double(signal.size()) / kRate, benchmark::Counter::kIsIterationInvariantRate);
}

void BM_AudioToBytes(benchmark::State& state) { DecodeAudio(state, &sieve::Decoder::AudioToBytes); }
BENCHMARK(BM_AudioToBytes)->Unit(benchmark::kMillisecond);

void BM_RobustAudioToBytes(benchmark::State& state) {
  DecodeAudio(state, &sieve::Decoder::RobustAudioToBytes);
}
BENCHMARK(BM_RobustAudioToBytes)->Unit(benchmark::kMillisecond);

// The floor: one pass that only reads the same samples.
void BM_ReadOnlyPass(benchmark::State& state) {
  const auto& signal = NoisySignal();
  for (auto _ : state) {
    int64_t sum = 0;
    for (int8_t sample : signal) sum += sample;
    benchmark::DoNotOptimize(sum);
  }
  state.SetItemsProcessed(state.iterations() * int64_t(signal.size()));
}
BENCHMARK(BM_ReadOnlyPass)->Unit(benchmark::kMillisecond);

}  // namespace
