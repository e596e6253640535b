#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "app/profile/settings.h"

namespace kestrel {

// One block captured by a decoding call, as the signal analysis window plots it.
struct SignalCapture {
  // Entries SignalInformation hands out at most: one audio buffer.
  static constexpr int kMaxSamples = 8192;

  // Per sample, positive minus negative magnitude times the polarity sign: the received sample
  // re-centred on the rest level (-128..128), and the sample after the decoder's mask.
  std::vector<int> raw;
  std::vector<int> masked;
  // true where the bit clock took a bit.
  std::vector<bool> marks;
  // The decoder's threshold in masked units, times the polarity sign like the values.
  int threshold = 0;
  // Samples in each of the three arrays.
  int count = 0;
  // Samples per second of the source.
  int rate = 0;
};

// Fetches and releases the decoder's pending capture (at most kMaxSamples samples); an empty
// capture when none is pending. `polarity_sign` is 1 or -1 (see PolaritySign). Call it on the
// thread that calls the decoder.
SignalCapture TakeSignalCapture(int rate, int polarity_sign);

// Samples per second of the analysed source: SamplingRate for the sound card (44100 while it is
// not chosen), 19200 for the RM100 receiver.
int AnalysisRate(const Settings& settings);

// -1 when the analysed source's reverse-polarity setting is on (ReversePolarity for the sound
// card, COMPortReversePolarity for the RM100), else 1.
int PolaritySign(const Settings& settings);

// The analysis window's explanation of a graph of `samples_shown` samples taken at `rate`
// samples per second. Its paragraphs are separated by two CR LF pairs. Numbers are rounded to the
// nearest (halves to even) and written in their shortest decimal form. A rate of 0 or less has no
// bits or time to state: both are written as 0.
std::string SignalExplanation(int rate, int samples_shown);

}  // namespace kestrel
