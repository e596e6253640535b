#pragma once

#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "app/platform/clock.h"

namespace kestrel_replay {

inline constexpr std::string_view kUsage =
    "usage: kestrel-replay [--profile FILE] [--now \"YYYY-MM-DD HH:MM:SS\"] [--print-to FILE.pdf]\n"
    "                      ([--rm100] INPUT | --records FILE)";

struct Arguments {
  std::string profile;
  std::optional<kestrel::Clock::TimePoint> now;  // local time given with --now
  std::string print_to;
  bool rm100 = false;
  bool records = false;  // the input is a list of records in hex, one per line
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
// "YYYY-MM-DD HH:MM:SS" as local time; none when it is not such a time.
std::optional<kestrel::Clock::TimePoint> ParseLocalTime(std::string_view text);

}  // namespace kestrel_replay
