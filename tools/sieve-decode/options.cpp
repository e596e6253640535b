#include "options.h"

namespace sieve_decode {

ParsedArguments ParseArguments(std::span<const std::string_view> args) {
  ParsedArguments parsed;
  bool have_input = false;
  auto set_input = [&](InputKind kind, std::string_view path) {
    if (have_input) {
      parsed.error = "only one input file may be given";
      return false;
    }
    have_input = true;
    parsed.options.input = kind;
    parsed.options.path = std::string(path);
    return true;
  };

  for (size_t i = 0; i < args.size(); ++i) {
    const std::string_view arg = args[i];
    if (arg == "--help" || arg == "-h") {
      parsed.outcome = ParsedArguments::Outcome::kHelp;
      return parsed;
    } else if (arg == "--trace") {
      parsed.options.trace = true;
    } else if (arg == "--reverse") {
      parsed.options.reverse = true;
    } else if (arg == "--robust") {
      parsed.options.decoder_mode = kestrel::kDecoderModeRobust;
    } else if (arg == "--rm100" || arg == "--slicer") {
      if (i + 1 == args.size()) {
        parsed.error = std::string(arg) + " needs a file";
        return parsed;
      }
      const InputKind kind = arg == "--rm100" ? InputKind::kRm100 : InputKind::kSlicer;
      if (!set_input(kind, args[++i])) return parsed;
    } else if (arg.size() > 1 && arg.front() == '-') {
      parsed.error = "unknown option " + std::string(arg);
      return parsed;
    } else if (!set_input(InputKind::kAudio, arg)) {
      return parsed;
    }
  }
  if (!have_input) {
    parsed.error = "no input file";
    return parsed;
  }
  parsed.outcome = ParsedArguments::Outcome::kRun;
  return parsed;
}

}  // namespace sieve_decode
