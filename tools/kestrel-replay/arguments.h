#pragma once

#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "app/platform/clock.h"

namespace kestrel_replay {

inline constexpr std::string_view kUsage =
    "usage: kestrel-replay [--profile FILE] [--now \"YYYY-MM-DD HH:MM:SS\"] [--print-to FILE.pdf]\n"
    "                      [--reverse] [--exact | --robust] ([--rm100] INPUT | --records FILE)";

// --help: the usage, every option and what the report means.
inline constexpr std::string_view kHelp =
    R"(usage: kestrel-replay [--profile FILE] [--now "YYYY-MM-DD HH:MM:SS"] [--print-to FILE.pdf]
                      [--reverse] [--exact | --robust] ([--rm100] INPUT | --records FILE)

Runs a recording, or a list of decoded records, through Kestrel's message processing and rules
without windows, and prints what the program would show: the Messages rows, the Active
Terminals, the MDT display and the e-mail. Rule log files are written as the program writes them.

Input (exactly one):
  INPUT           a PCM WAV recording of the receiver's audio (44100 or 22050 samples a second),
                  as from the sound card
  --rm100 INPUT   the raw bytes of an RM100 receiver interface
  --records FILE  decoded records, one per line in hexadecimal (either case, blanks allowed
                  between digits, blank lines skipped), as "sieve-decode" prints them or
                  "mdcgen --frames-out" writes them; nothing is decoded

Options:
  --profile FILE  the profile whose settings, aliases and rules apply (its side files
                  FILETerminals.ini and FILERules.ini beside it). Without one, or when it has no
                  rules, the two default rules apply. Values the profile holds but that are
                  invalid are named on standard error with what is used instead.
  --now TIME      the local time the rules see, "YYYY-MM-DD HH:MM:SS" (year 1970 to 2261);
                  default: the real time. It sets the Messages rows' received times (kept, not
                  printed), decides the e-mail disabled hours (day of the week and hour) and
                  dates the e-mail; spooled mail is sent 10 seconds after it. Give it to make a
                  replay's result the same every time.
  --print-to FILE.pdf
                  where rule printouts go: only rules with "LogPrinter" on print, one page after
                  another as the blocks fill them. The file is made only when such a rule matched;
                  it must be writable (checked before anything is replayed).
  --reverse       decode with the polarity reversed, for a receiver or interface that inverts
                  the signal. The profile's ReversePolarity (audio input) or
                  COMPortReversePolarity (--rm100) reverses it as well.
  --exact         decode with the exact decoder: it reproduces the reference algorithm bit for
                  bit; use it to compare with other decoders or with an earlier result.
  --robust        decode with the robust decoder: for real receivers, noisy or weak signals and
                  squelched silence between transmissions.
                  Without either, the profile's DecoderMode decides (0 exact, 1 robust; default
                  robust). When both are given, the last one wins.
  -h, --help      show this text.

Report (standard output), four sections, one line per row, fields separated by tabs:
  [Messages]   the Messages window: TYPE, TO, DETAILS and NUMBER
                 TYPE     the rule's message type ("Message", "Dispatch", ...)
                 TO       the terminal the message went to, or its alias, as the rule's
                          LogMessageTo says
                 DETAILS  the part of the message text the rule selects, as the Messages
                          window shows it
                 NUMBER   the message's number (the row's tag), from 1 in arrival order
               Only messages that a rule logs to the Messages window appear: the two default
               rules log messages with "message" and with "dispatch" in them. Give a profile
               with your own rules to see others.
  [Terminals]  every terminal heard, in order: ADDRESS and ALIAS (empty when it has none)
  [MDT]        the MDT display's text for "<all>", the traffic of every terminal
  [Mail]       one line per e-mail the rules made: TO, SUBJECT and the body's length in
               characters. Mail is sent only when the profile names an SMTPMailServer.

Errors go to standard error, one line each, naming the file and the reason.
Exit status: 0 when the replay did its job; 1 when an input, profile or output file could not
be used, a recording decoded to nothing, a rule's log file could not be written, the printout
failed or mail could not be sent (each named on standard error); 2 for a usage error.)";

// The years --now accepts: the clock starts in 1970, and its nanoseconds in 64 bits run out in
// April 2262.
inline constexpr int kEarliestYear = 1970;
inline constexpr int kLatestYear = 2261;

struct Arguments {
  std::string profile;
  std::optional<kestrel::Clock::TimePoint> now;  // local time given with --now
  std::string print_to;
  bool rm100 = false;
  bool reverse = false;             // polarity reversed, whatever the profile says
  std::optional<int> decoder_mode;  // the decoder asked for; none: the profile's DecoderMode
  bool records = false;             // the input is a list of records in hex, one per line
  std::string input;
};

struct ParsedArguments {
  enum class Outcome { kRun, kHelp, kUsageError };
  Outcome outcome = Outcome::kUsageError;
  Arguments arguments;
  std::string error;
};

// The arguments without the program's name.
ParsedArguments ParseArguments(std::span<const std::string_view> args);
// "YYYY-MM-DD HH:MM:SS" as local time, years kEarliestYear to kLatestYear; none when it is not
// such a time.
std::optional<kestrel::Clock::TimePoint> ParseLocalTime(std::string_view text);

}  // namespace kestrel_replay
