#pragma once

// Captures of synthetic signals taken by the process-wide decoder, as the signal analysis window
// receives them. Each call starts with ReInit and leaves the decoder's state changed; call them
// from the thread that uses the decoder. Link mdcgen_core and kestrel_acquisition.

#include <cstdint>
#include <vector>

#include "app/acquisition/signal_capture.h"
#include "mdcgen/signal.h"
#include "sieve/sieve.h"

namespace kestrel_test {

// Frames back to back with short gaps, long enough for `blocks` decoder blocks at any rate.
inline mdcgen::Timeline AnalysisFrames(int blocks) {
  std::vector<mdcgen::Transmission> transmissions;
  const int frames = 2 * blocks + 4;
  for (int i = 0; i < frames; ++i) {
    mdcgen::Bytes frame(90);
    for (size_t j = 0; j < frame.size(); ++j) frame[j] = uint8_t(i * 31 + j * 7 + 3);
    transmissions.push_back({frame, 0.003});
  }
  return mdcgen::ComposeTimeline(transmissions, 0.01);
}

// An MDC-4800 recording at `rate` (44100 or 22050) with noise at `snr_db`, decoded a block of
// 8192 samples at a time; the block numbered `captured` (from 0) is the one captured.
inline kestrel::SignalCapture AudioCapture(int rate, int polarity_sign, double snr_db = 20,
                                           int captured = 3) {
  constexpr int kBlock = kestrel::SignalCapture::kMaxSamples;
  mdcgen::SignalOptions options;
  options.snr_db = snr_db;
  const std::vector<uint8_t> pcm = mdcgen::RenderPcm(AnalysisFrames(captured + 1), options, rate);
  std::vector<uint8_t> output(kBlock / 6 + SIEVE_MAX_FRAME_OUTPUT);
  int32_t corrections = 0, quality = 0;
  ReInit();
  for (int b = 0; b <= captured && size_t((b + 1) * kBlock) <= pcm.size(); ++b) {
    std::vector<int8_t> samples(pcm.begin() + b * kBlock, pcm.begin() + (b + 1) * kBlock);
    AudioToBytes(samples.data(), kBlock, output.data(), rate, 4800, '1', '0', &corrections,
                 &quality, b == captured ? 1 : 0);
  }
  return kestrel::TakeSignalCapture(rate, polarity_sign);
}

// RM100 receiver bytes of the same kind of traffic, 1024 bytes (8192 samples) a call; the call
// numbered `captured` is the one captured.
inline kestrel::SignalCapture RM100Capture(int polarity_sign, int captured = 3) {
  constexpr int kBytes = kestrel::SignalCapture::kMaxSamples / 8;
  mdcgen::SignalOptions options;
  options.snr_db = 20;
  const std::vector<uint8_t> bytes = mdcgen::RenderRm100(AnalysisFrames(captured + 1), options);
  std::vector<uint8_t> output(8 * kBytes / 6 + SIEVE_MAX_FRAME_OUTPUT);
  int32_t corrections = 0, quality = 0;
  ReInit();
  for (int b = 0; b <= captured && size_t((b + 1) * kBytes) <= bytes.size(); ++b) {
    RM100BytesToBytes(&bytes[size_t(b * kBytes)], kBytes, output.data(), 19200, 4800, '1', '0',
                      &corrections, &quality, b == captured ? 1 : 0);
  }
  return kestrel::TakeSignalCapture(19200, polarity_sign);
}

}  // namespace kestrel_test
