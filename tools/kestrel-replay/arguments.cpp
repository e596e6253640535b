#include "arguments.h"

#include <cstdio>
#include <ctime>

#include "app/profile/settings.h"

namespace kestrel_replay {

std::optional<kestrel::Clock::TimePoint> ParseLocalTime(std::string_view text) {
  std::tm fields{};
  char rest = 0;
  const std::string copy(text);
  if (copy.size() != 19 ||
      std::sscanf(copy.c_str(), "%4d-%2d-%2d %2d:%2d:%2d%c", &fields.tm_year, &fields.tm_mon,
                  &fields.tm_mday, &fields.tm_hour, &fields.tm_min, &fields.tm_sec, &rest) != 6) {
    return std::nullopt;
  }
  if (fields.tm_year < kEarliestYear || fields.tm_year > kLatestYear) return std::nullopt;
  const std::tm given = fields;
  fields.tm_year -= 1900;
  fields.tm_mon -= 1;
  fields.tm_isdst = -1;
  const std::time_t seconds = std::mktime(&fields);
  // mktime normalises 2026-02-30 into March; such a date was not a date.
  if (seconds == -1 || fields.tm_mday != given.tm_mday || fields.tm_mon != given.tm_mon - 1 ||
      fields.tm_hour != given.tm_hour || fields.tm_min != given.tm_min ||
      fields.tm_sec != given.tm_sec) {
    return std::nullopt;
  }
  return kestrel::Clock::TimePoint(std::chrono::seconds(seconds));
}

ParsedArguments ParseArguments(std::span<const std::string_view> args) {
  ParsedArguments parsed;
  Arguments& a = parsed.arguments;
  const auto fail = [&](std::string error) {
    parsed.error = std::move(error);
    return parsed;
  };
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string_view arg = args[i];
    const auto value = [&]() -> std::optional<std::string> {
      if (i + 1 >= args.size()) return std::nullopt;
      return std::string(args[++i]);
    };
    if (arg == "-h" || arg == "--help") {
      parsed.outcome = ParsedArguments::Outcome::kHelp;
      return parsed;
    } else if (arg == "--rm100") {
      a.rm100 = true;
    } else if (arg == "--reverse") {
      a.reverse = true;
    } else if (arg == "--exact" || arg == "--robust") {
      a.decoder_mode = arg == "--robust" ? kestrel::kDecoderModeRobust : kestrel::kDecoderModeExact;
    } else if (arg == "--profile" || arg == "--print-to" || arg == "--now" || arg == "--records") {
      const std::optional<std::string> given = value();
      if (!given) return fail(std::string(arg) + " needs a value");
      if (arg == "--profile") a.profile = *given;
      if (arg == "--print-to") a.print_to = *given;
      if (arg == "--records") {
        if (!a.input.empty()) return fail("give one input");
        a.records = true;
        a.input = *given;
      }
      if (arg == "--now") {
        a.now = ParseLocalTime(*given);
        if (!a.now) {
          return fail("--now takes a local time as \"YYYY-MM-DD HH:MM:SS\", year " +
                      std::to_string(kEarliestYear) + " to " + std::to_string(kLatestYear));
        }
      }
    } else if (arg.starts_with("-") && arg != "-") {
      return fail("unknown option " + std::string(arg));
    } else {
      if (!a.input.empty()) return fail("give one input");
      a.input = arg;
    }
  }
  if (a.input.empty()) return fail("no input given");
  if (a.records && a.rm100) return fail("--rm100 and --records exclude each other");
  parsed.outcome = ParsedArguments::Outcome::kRun;
  return parsed;
}

}  // namespace kestrel_replay
