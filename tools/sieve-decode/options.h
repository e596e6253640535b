#pragma once

#include <span>
#include <string>
#include <string_view>

namespace sieve_decode {

enum class InputKind { kAudio, kRm100, kSlicer };

struct Options {
  InputKind input = InputKind::kAudio;
  std::string path;
  bool trace = false;
  bool reverse = false;
};

struct ParsedArguments {
  enum class Outcome { kRun, kHelp, kUsageError };
  Outcome outcome = Outcome::kUsageError;
  Options options;
  std::string error;  // why the arguments are not usable
};

inline constexpr std::string_view kUsage =
    "usage: sieve-decode [--trace] [--reverse] (FILE.wav | --rm100 FILE | --slicer FILE)";

// The arguments without the program's name.
ParsedArguments ParseArguments(std::span<const std::string_view> args);

}  // namespace sieve_decode
