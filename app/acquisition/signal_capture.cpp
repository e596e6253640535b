#include "app/acquisition/signal_capture.h"

#include <algorithm>
#include <cstdlib>

#include "sieve/sieve.h"

namespace kestrel {

namespace {

constexpr int kBaud = 4800;
constexpr int kDefaultSamplingRate = 44100;
constexpr int kRM100Rate = 19200;

// numerator / denominator to the nearest whole number, halves to even; denominator > 0.
int64_t RoundHalfEven(int64_t numerator, int64_t denominator) {
  const bool negative = numerator < 0;
  const int64_t magnitude = negative ? -numerator : numerator;
  int64_t quotient = magnitude / denominator;
  const int64_t twice_remainder = 2 * (magnitude % denominator);
  if (twice_remainder > denominator || (twice_remainder == denominator && quotient % 2 == 1))
    ++quotient;
  return negative ? -quotient : quotient;
}

// A count of hundredths in its shortest decimal form: "9.19", "4.5", "4", "0.01".
std::string Hundredths(int64_t hundredths) {
  std::string text = hundredths < 0 ? "-" : "";
  const int64_t magnitude = std::llabs(hundredths);
  text += std::to_string(magnitude / 100);
  const int64_t fraction = magnitude % 100;
  if (fraction == 0) return text;
  text += '.';
  text += char('0' + fraction / 10);
  if (fraction % 10 != 0) text += char('0' + fraction % 10);
  return text;
}

bool AnalysingRM100(const Settings& settings) {
  return settings.SieveSource == kSieveSourceCOMPort &&
         settings.COMPortDevice == kCOMPortDeviceRM100;
}

}  // namespace

SignalCapture TakeSignalCapture(int rate, int polarity_sign) {
  constexpr int kSize = SignalCapture::kMaxSamples;
  std::vector<uint8_t> raw_positive(kSize), raw_negative(kSize), masked_positive(kSize),
      masked_negative(kSize), marks(kSize);
  int32_t threshold = 0;
  const int32_t available =
      SignalInformation(kSize, raw_positive.data(), raw_negative.data(), masked_positive.data(),
                        masked_negative.data(), marks.data(), &threshold);
  const int sign = polarity_sign < 0 ? -1 : 1;
  SignalCapture capture;
  capture.rate = rate;
  capture.threshold = threshold * sign;
  capture.count = std::clamp<int32_t>(available, 0, kSize);
  const size_t n = size_t(capture.count);
  capture.raw.resize(n);
  capture.masked.resize(n);
  capture.marks.resize(n);
  for (size_t i = 0; i < n; ++i) {
    capture.raw[i] = (int(raw_positive[i]) - int(raw_negative[i])) * sign;
    capture.masked[i] = (int(masked_positive[i]) - int(masked_negative[i])) * sign;
    capture.marks[i] = marks[i] == 1;
  }
  return capture;
}

int AnalysisRate(const Settings& settings) {
  if (AnalysingRM100(settings)) return kRM100Rate;
  return settings.SamplingRate > 0 ? settings.SamplingRate : kDefaultSamplingRate;
}

int PolaritySign(const Settings& settings) {
  const bool reversed =
      AnalysingRM100(settings) ? settings.COMPortReversePolarity : settings.ReversePolarity;
  return reversed ? -1 : 1;
}

std::string SignalExplanation(int rate, int samples_shown) {
  const int64_t r = rate;
  const int64_t w = std::max(samples_shown, 0);
  // n = R / 4800 in hundredths is R / 48; b = W / (R / 4800); t = W / R in hundredths.
  const int64_t samples_per_bit = RoundHalfEven(r, kBaud / 100);
  const int64_t bits = r > 0 ? RoundHalfEven(w * kBaud, r) : 0;
  const int64_t seconds = r > 0 ? RoundHalfEven(w * 100, r) : 0;
  return "MDC-4800 data is sent at 4800 baud (4800 bits per second). "
         " Kestrel is sampling the radio signal at " +
         std::to_string(rate) + " times per second, so every " + Hundredths(samples_per_bit) +
         " samples represents a bit.  In the graph above every pixel"
         " represents one sample.  The graph contains " +
         std::to_string(w) +
         " samples which"
         " translates to " +
         std::to_string(bits) +
         " bits"
         " covering " +
         Hundredths(seconds) +
         " seconds of time."
         "\r\n\r\n"
         "The vertical grey lines show where each sample is interpretted as an MDT data"
         " bit.  The absence of vertical lines indicates the program isn't able to interpret"
         " the received signal.  The program must be able to determine whether each sample"
         " represents a 1-bit or a 0-bit in order to sync-up with the incoming bit stream"
         " to determine which samples should be interpretted as MDT data bits.";
}

}  // namespace kestrel
