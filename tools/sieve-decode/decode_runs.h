#pragma once

#include <cstdint>
#include <cstdio>
#include <span>
#include <string>

#include "options.h"

namespace sieve_decode {

inline constexpr int32_t kOutputSize = 8192;
// Preset in the out-arguments so that a call that leaves one unwritten shows as such.
inline constexpr int32_t kUnwritten = INT32_MIN;

// What one decoding call gave.
struct CallOutcome {
  int32_t count = 0;
  int32_t corrections = kUnwritten;
  int32_t quality = kUnwritten;  // the slicer's pending count
  std::span<const uint8_t> bytes;
};

// The output bytes as upper-case hex.
std::string FormatRecord(std::span<const uint8_t> bytes);
// "call count corrections quality [hex]", corrections and quality "-" when unwritten.
std::string FormatTrace(int64_t call, const CallOutcome& outcome);

// Receives what each decoding call gave, in call order.
class CallSink {
 public:
  virtual ~CallSink() = default;
  virtual void Print(const CallOutcome& outcome) = 0;
};

// Prints each decoding call: with trace every call, otherwise each call that wrote bytes.
class CallPrinter : public CallSink {
 public:
  CallPrinter(bool trace, std::FILE* out) : trace_(trace), out_(out) {}
  void Print(const CallOutcome& outcome) override;
  // Calls that decoded something.
  int64_t records() const { return records_; }

 private:
  bool trace_;
  std::FILE* out_;
  int64_t calls_ = 0;
  int64_t records_ = 0;
};

// Why a run may have decoded nothing, as one line naming the file: an unusual sample width in a
// WAV header, else the polarity and the decoder to try.
std::string NothingDecoded(const Options& options);

// Decodes the file through the library's exports in the blocks Kestrel uses and prints every
// call. Returns why the file could not be decoded, empty when it was.
std::string Decode(const Options& options, CallSink& printer);

}  // namespace sieve_decode
