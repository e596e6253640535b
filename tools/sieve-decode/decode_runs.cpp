#include "decode_runs.h"

#include <algorithm>
#include <array>
#include <vector>

#include "app/acquisition/audio_file.h"
#include "app/acquisition/decoder_choice.h"
#include "decoder/replay_slicer_device.h"
#include "decoder/slicer_device.h"
#include "readers.h"
#include "sieve/sieve.h"

namespace sieve_decode {
namespace {

constexpr int32_t kBaud = 4800;
constexpr size_t kAudioBlock = 8192;
constexpr size_t kRm100Block = 960;
constexpr int32_t kRm100Rate = 19200;
constexpr int32_t kSlicerRing = 1024;
constexpr int32_t kSlicerBatch = 600;
// A call that returns more than this may have stopped early to keep the buffer safe.
constexpr int32_t kSlicerFullOutput = SIEVE_SLICER_OUTPUT_SIZE - SIEVE_MAX_FRAME_OUTPUT;

std::string Hex(std::span<const uint8_t> bytes, const char* digits) {
  std::string text;
  text.reserve(bytes.size() * 2);
  for (const uint8_t byte : bytes) {
    text += digits[byte >> 4];
    text += digits[byte & 0xF];
  }
  return text;
}

// What the call wrote; a count outside the buffer is never trusted as a length.
std::span<const uint8_t> Written(std::span<const uint8_t> output, int32_t count) {
  return output.first(size_t(std::clamp<int32_t>(count, 0, int32_t(output.size()))));
}

// The symbols for a one and a zero, swapped to reverse the polarity.
int32_t One(const Options& options) { return options.reverse ? '0' : '1'; }
int32_t Zero(const Options& options) { return options.reverse ? '1' : '0'; }

// Reads the file in blocks and makes one decoding call per block.
template <class File, class DecodeBlock>
std::string DecodeBlocks(File& file, size_t block_size, CallSink& printer,
                         DecodeBlock decode_block) {
  std::string error;
  std::vector<uint8_t> input(block_size);
  std::array<uint8_t, kOutputSize> output{};
  for (;;) {
    const int64_t count = file.Read(input, error);
    if (count < 0) return error;
    if (count == 0) return {};
    CallOutcome outcome;
    outcome.count = decode_block(input.data(), int32_t(count), output.data(), outcome);
    outcome.bytes = Written(output, outcome.count);
    printer.Print(outcome);
  }
}

std::string DecodeAudio(const Options& options, CallSink& printer) {
  kestrel::AudioFile file;
  std::string error;
  if (!file.Open(options.path, error)) return error;
  const kestrel::AudioDecodeCall decode = kestrel::AudioDecoder(options.decoder_mode);
  return DecodeBlocks(file, kAudioBlock, printer,
                      [&](uint8_t* samples, int32_t count, uint8_t* output, CallOutcome& outcome) {
                        return decode(reinterpret_cast<int8_t*>(samples), count, output,
                                      file.rate(), kBaud, One(options), Zero(options),
                                      &outcome.corrections, &outcome.quality, 0);
                      });
}

std::string DecodeRm100(const Options& options, CallSink& printer) {
  ByteFile file;
  std::string error;
  if (!file.Open(options.path, error)) return error;
  const kestrel::RM100DecodeCall decode = kestrel::RM100Decoder(options.decoder_mode);
  return DecodeBlocks(file, kRm100Block, printer,
                      [&](uint8_t* input, int32_t count, uint8_t* output, CallOutcome& outcome) {
                        return decode(input, count, output, kRm100Rate, kBaud, One(options),
                                      Zero(options), &outcome.corrections, &outcome.quality, 0);
                      });
}

// Reads the whole list once, so that a bad line is reported before anything is decoded.
std::string CheckSlicerFile(const std::string& path) {
  SlicerFile file;
  std::string error;
  if (!file.Open(path, error)) return error;
  SlicerEntry entry;
  for (;;) {
    switch (file.Read(entry, error)) {
      case SlicerFile::Next::kEntry:
        break;
      case SlicerFile::Next::kEnd:
        return {};
      case SlicerFile::Next::kError:
        return error;
    }
  }
}

std::string DecodeSlicer(const Options& options, CallSink& printer) {
  if (std::string error = CheckSlicerFile(options.path); !error.empty()) return error;
  SlicerFile file;
  std::string error;
  if (!file.Open(options.path, error)) return error;

  // The library keeps its read index for the life of the process, so the ring must too.
  static sieve::ReplaySlicerDevice device(kSlicerRing);
  sieve::RegisterSlicerDevice(sieve::kSlicerDeviceName, &device);
  if (InstallSlicerDriver(1) != 1) {
    std::array<char, 256> text{};
    GetErrorMessage(text.data());
    return std::string("cannot link the slicer driver: ") + text.data();
  }
  std::array<uint8_t, kOutputSize> output{};
  bool at_end = false;
  while (!at_end) {
    int32_t stored = 0;
    SlicerEntry entry;
    while (stored < kSlicerBatch) {
      const SlicerFile::Next next = file.Read(entry, error);
      if (next == SlicerFile::Next::kError) break;
      if (next == SlicerFile::Next::kEnd) {
        at_end = true;
        break;
      }
      device.Store(entry.duration, entry.status);
      ++stored;
    }
    if (!error.empty()) break;  // the file changed since it was checked
    if (stored == 0) break;
    CallOutcome outcome;
    do {
      outcome = CallOutcome{};
      outcome.count = SlicerToBytes(output.data(), kBaud, One(options), Zero(options),
                                    &outcome.corrections, &outcome.quality);
      outcome.bytes = Written(output, outcome.count);
      printer.Print(outcome);
    } while (outcome.count > kSlicerFullOutput);
  }
  UninstallSlicerDriver();
  return error;
}

}  // namespace

std::string FormatRecord(std::span<const uint8_t> bytes) { return Hex(bytes, "0123456789ABCDEF"); }

std::string FormatTrace(int64_t call, const CallOutcome& outcome) {
  auto number = [](int32_t value) { return value == kUnwritten ? "-" : std::to_string(value); };
  std::string line = std::to_string(call) + ' ' + std::to_string(outcome.count) + ' ' +
                     number(outcome.corrections) + ' ' + number(outcome.quality);
  if (!outcome.bytes.empty()) line += ' ' + Hex(outcome.bytes, "0123456789abcdef");
  return line;
}

std::string NothingDecoded(const Options& options) {
  std::string text = options.path + ": no frames decoded";
  const std::optional<int> bits =
      options.input == InputKind::kAudio ? WavHeaderBits(options.path) : std::nullopt;
  if (bits && *bits != 8 && *bits != 16 && *bits != 24 && *bits != 32) {
    return text + "; its header gives " + std::to_string(*bits) +
           "-bit samples, which are read as the next whole byte width and may be misread";
  }
  text += options.reverse ? " (normal polarity? try without --reverse"
                          : " (reversed polarity? try --reverse";
  if (options.decoder_mode != kestrel::kDecoderModeRobust && options.input != InputKind::kSlicer) {
    text += "; a weak or squelched signal? try --robust";
  }
  return text + ")";
}

void CallPrinter::Print(const CallOutcome& outcome) {
  ++calls_;
  if (!outcome.bytes.empty()) ++records_;
  std::string line;
  if (trace_) {
    line = FormatTrace(calls_, outcome);
  } else if (!outcome.bytes.empty()) {
    line = FormatRecord(outcome.bytes);
  } else {
    return;
  }
  line += '\n';
  std::fwrite(line.data(), 1, line.size(), out_);
}

std::string Decode(const Options& options, CallSink& printer) {
  if (std::string error = CheckInputPath(options.path); !error.empty()) return error;
  switch (options.input) {
    case InputKind::kAudio:
      return DecodeAudio(options, printer);
    case InputKind::kRm100:
      return DecodeRm100(options, printer);
    case InputKind::kSlicer:
      return DecodeSlicer(options, printer);
  }
  return "unknown input kind";
}

}  // namespace sieve_decode
