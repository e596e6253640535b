// Drives a decoder through arbitrary sequences of its operations with arbitrary arguments and
// checks that no call writes outside the buffers the contract asks the caller for.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "decoder/decoder.h"
#include "decoder/replay_slicer_device.h"
#include "fuzz/fuzz_input.h"

namespace {

using kestrel_fuzz::Check;
using kestrel_fuzz::Input;

constexpr int32_t kRates[] = {44100, 22050, 19200, 96000, 144000, 8000, 1, 0, -1};
constexpr int32_t kBauds[] = {4800, 1200, 9600, 1, 0, -4800};
constexpr int32_t kSymbols[] = {'1', '0', -1, 0x131, 'x'};
// The slicer's work grows with the bit rate (a period is up to 65535 ticks); an absurd rate only
// makes a slow run, not a finding.
constexpr int32_t kSlicerBauds[] = {4800, 1200, 9600, 19200, 0, -4800};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Input input(data, size);
  sieve::ReplaySlicerDevice device(1 + input.Byte() % 64);
  sieve::Decoder decoder([&](std::string_view) -> sieve::SlicerDevice* {
    return input.Byte() % 8 ? &device : nullptr;
  });
  int32_t corrections, quality;

  while (!input.empty()) {
    switch (input.Byte() % 8) {
      case 0: {  // raw samples
        auto samples = input.Bytes(20000);
        std::vector<uint8_t> output(samples.size() / 6 + SIEVE_MAX_FRAME_OUTPUT);
        const int32_t n = decoder.AudioToBytes(
            reinterpret_cast<int8_t*>(samples.data()), int32_t(samples.size()), output.data(),
            input.Pick(kRates), input.Pick(kBauds), input.Pick(kSymbols), input.Pick(kSymbols),
            &corrections, &quality, input.Byte() & 1);
        Check(n >= 0 && size_t(n) <= output.size());
        break;
      }
      case 1: {  // bits the fuzzer chose, as a clean signal at four samples a bit
        const auto bits = input.Bytes(4000);
        std::vector<int8_t> samples;
        for (uint8_t byte : bits)
          for (int b = 0; b < 8; ++b) samples.insert(samples.end(), 4, (byte >> b) & 1 ? 88 : -88);
        std::vector<uint8_t> output(samples.size() / 6 + SIEVE_MAX_FRAME_OUTPUT);
        const int32_t n =
            decoder.AudioToBytes(samples.data(), int32_t(samples.size()), output.data(), 19200,
                                 4800, '1', '0', &corrections, &quality, 0);
        Check(n >= 0 && size_t(n) <= output.size());
        break;
      }
      case 2: {
        const auto bytes = input.Bytes(4000);
        std::vector<uint8_t> output(bytes.size() * 8 / 6 + SIEVE_MAX_FRAME_OUTPUT);
        const int32_t n = decoder.RM100BytesToBytes(
            bytes.data(), int32_t(bytes.size()), output.data(), input.Pick(kRates),
            input.Pick(kBauds), input.Pick(kSymbols), input.Pick(kSymbols), &corrections, &quality,
            input.Byte() & 1);
        Check(n >= 0 && size_t(n) <= output.size());
        break;
      }
      case 3:
        for (int i = input.Byte(); i > 0; --i) device.Store(input.Word(), input.Byte());
        break;
      case 4: {
        std::vector<uint8_t> output(SIEVE_SLICER_OUTPUT_SIZE);
        int32_t pending;
        const int32_t n = decoder.SlicerToBytes(output.data(), input.PickUsual(kSlicerBauds),
                                                input.Pick(kSymbols), input.Pick(kSymbols),
                                                &corrections, &pending);
        Check(n >= 0 && size_t(n) <= output.size());
        break;
      }
      case 5:
        kestrel_fuzz::CheckSignalInformation(decoder, input.Pick(kRates));
        break;
      case 6:
        decoder.ReInit();
        break;
      case 7:
        if (input.Byte() & 1) {
          decoder.InstallSlicerDriver(input.Int());
        } else {
          decoder.UninstallSlicerDriver();
        }
        break;
    }
  }
  return 0;
}
