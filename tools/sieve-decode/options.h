#pragma once

#include <span>
#include <string>
#include <string_view>

#include "app/profile/settings.h"

namespace sieve_decode {

enum class InputKind { kAudio, kRm100, kSlicer };

struct Options {
  InputKind input = InputKind::kAudio;
  std::string path;
  bool trace = false;
  bool reverse = false;
  // The decoder for audio and RM100 input, as the profile's DecoderMode names it.
  int decoder_mode = kestrel::kDecoderModeExact;
};

struct ParsedArguments {
  enum class Outcome { kRun, kHelp, kUsageError };
  Outcome outcome = Outcome::kUsageError;
  Options options;
  std::string error;  // why the arguments are not usable
};

inline constexpr std::string_view kUsage =
    "usage: sieve-decode [--trace] [--reverse] [--robust] (FILE.wav | --rm100 FILE | --slicer "
    "FILE)";

// --help: the usage, every option and what the output means.
inline constexpr std::string_view kHelp =
    R"(usage: sieve-decode [--trace] [--reverse] [--robust] (FILE.wav | --rm100 FILE | --slicer FILE)

Decodes a recording of MDC-4800 traffic through the Sieve library, in the same blocks and calls
that Kestrel makes while monitoring, and prints what the calls returned.

Input (exactly one):
  FILE.wav        a PCM WAV recording of the receiver's audio: 8, 16, 24 or 32-bit integer
                  samples, any number of channels (mixed to one), 44100 or 22050 samples a
                  second. Decoded in blocks of 8192 samples, one AudioToBytes call each.
  --rm100 FILE    the raw bytes an RM100 receiver interface sends (19200 samples a second, eight
                  a byte); one RM100BytesToBytes call per 960 bytes.
  --slicer FILE   a data slicer's edge list: one "duration status" line per period, the duration
                  in 838 ns ticks (0 to 65535) and the 8250 modem status byte (0 to 255); blank
                  lines are skipped. Up to 600 entries are stored before each SlicerToBytes call.

Options:
  --trace         print one line for every call, also the calls that decoded nothing.
  --reverse       swap the symbols for one and zero: for a receiver or interface that inverts
                  the signal. Without it, a reversed recording decodes to nothing.
  --robust        use the robust decoder for audio and RM100 input: better for real receivers,
                  noisy or weak signals and squelched silence between transmissions. The default
                  exact decoder reproduces the reference algorithm bit for bit; use it to compare
                  with other decoders or to reproduce a result exactly. Slicer input has one
                  decoder only.
  -h, --help      show this text.

Output (standard output):
  Without --trace, one line per call that decoded something: the decoded bytes in upper-case
  hexadecimal, each frame's bytes padded to whole 18-byte groups (trailing zeros trimmed). This
  is the record Kestrel would process; several frames decoded in one call share a line.
  With --trace, one line per call: "CALL COUNT CORRECTIONS QUALITY [BYTES]"
    CALL          the call's number, from 1
    COUNT         the number of bytes the call returned (0 when it decoded nothing)
    CORRECTIONS   the bit errors the decoder corrected in the call; "-" when the call did not set
                  it
    QUALITY       audio and RM100: the share of bit periods, in percent, that carried a one
                  (about 50 on a busy channel); slicer: the entries the call found waiting in
                  the driver's ring; "-" when not set
    BYTES         the returned bytes in lower-case hexadecimal, only when COUNT is not 0

Errors go to standard error, one line naming the file and the reason.
Exit status: 0 when frames were decoded; 1 when the file cannot be read or decodes to nothing
(the reason follows on standard error); 2 for a usage error.)";

// The arguments without the program's name.
ParsedArguments ParseArguments(std::span<const std::string_view> args);

}  // namespace sieve_decode
