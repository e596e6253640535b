// Drives the robust decoder through arbitrary sequences of its operations with arbitrary
// arguments and checks that no call writes outside the buffers the contract asks the caller for.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "decoder/decoder.h"
#include "fuzz/fuzz_input.h"

namespace {

using kestrel_fuzz::Check;
using kestrel_fuzz::Input;

constexpr int32_t kRates[] = {44100, 22050, 19200, 9600, 115200, 96000, 8000, 1, 0, -1};
constexpr int32_t kBauds[] = {4800, 1200, 9600, 1, 0, -4800};
constexpr int32_t kSymbols[] = {'1', '0', -1, 0x131, 'x'};

// A guard byte after the region the contract grants, to catch writes beyond it.
constexpr uint8_t kGuard = 0xA5;
constexpr size_t kGuardBytes = 64;

void CheckGuard(const std::vector<uint8_t>& output, size_t granted) {
  for (size_t i = granted; i < output.size(); ++i) Check(output[i] == kGuard);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Input input(data, size);
  sieve::Decoder decoder(nullptr);
  int32_t corrections, quality;

  while (!input.empty()) {
    switch (input.Byte() % 6) {
      case 0: {  // raw samples
        auto samples = input.Bytes(20000);
        const size_t granted = samples.size() / 6 + SIEVE_MAX_FRAME_OUTPUT;
        std::vector<uint8_t> output(granted + kGuardBytes, kGuard);
        const int32_t n = decoder.RobustAudioToBytes(
            reinterpret_cast<int8_t*>(samples.data()), int32_t(samples.size()), output.data(),
            input.Pick(kRates), input.Pick(kBauds), input.Pick(kSymbols), input.Pick(kSymbols),
            &corrections, &quality, input.Byte() & 1);
        Check(n >= 0 && size_t(n) <= granted);
        Check(quality >= 0 && quality <= 100);
        CheckGuard(output, granted);
        break;
      }
      case 1: {  // bits the fuzzer chose, as a clean square wave at a chosen bit period
        const auto bits = input.Bytes(4000);
        const int spb = 2 + input.Byte() % 23;
        const int8_t high = int8_t(input.Byte());
        const int8_t low = int8_t(input.Byte());
        std::vector<int8_t> samples;
        for (uint8_t byte : bits)
          for (int b = 0; b < 8; ++b)
            samples.insert(samples.end(), size_t(spb), (byte >> b) & 1 ? high : low);
        const size_t granted = samples.size() / 6 + SIEVE_MAX_FRAME_OUTPUT;
        std::vector<uint8_t> output(granted + kGuardBytes, kGuard);
        const int32_t n =
            decoder.RobustAudioToBytes(samples.data(), int32_t(samples.size()), output.data(),
                                       4800 * spb, 4800, '1', '0', &corrections, &quality, 0);
        Check(n >= 0 && size_t(n) <= granted);
        CheckGuard(output, granted);
        break;
      }
      case 2: {
        const auto bytes = input.Bytes(4000);
        const size_t granted = bytes.size() * 8 / 6 + SIEVE_MAX_FRAME_OUTPUT;
        std::vector<uint8_t> output(granted + kGuardBytes, kGuard);
        const int32_t n = decoder.RobustRM100BytesToBytes(
            bytes.data(), int32_t(bytes.size()), output.data(), input.Pick(kRates),
            input.Pick(kBauds), input.Pick(kSymbols), input.Pick(kSymbols), &corrections, &quality,
            input.Byte() & 1);
        Check(n >= 0 && size_t(n) <= granted);
        CheckGuard(output, granted);
        break;
      }
      case 3: {  // the exact decoder shares the capture store
        auto samples = input.Bytes(4000);
        std::vector<uint8_t> output(samples.size() / 6 + SIEVE_MAX_FRAME_OUTPUT);
        const int32_t n =
            decoder.AudioToBytes(reinterpret_cast<int8_t*>(samples.data()), int32_t(samples.size()),
                                 output.data(), input.Pick(kRates), input.Pick(kBauds), '1', '0',
                                 &corrections, &quality, input.Byte() & 1);
        Check(n >= 0 && size_t(n) <= output.size());
        break;
      }
      case 4:
        kestrel_fuzz::CheckSignalInformation(decoder, input.Pick(kRates));
        break;
      case 5:
        decoder.ReInit();
        break;
    }
  }
  return 0;
}
