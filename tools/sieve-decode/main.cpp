// sieve-decode: decodes a recording through the Sieve library's exports, call by call as Kestrel
// makes them, and prints what each call returned.
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "decode_runs.h"
#include "options.h"

int main(int argc, char** argv) {
  using sieve_decode::ParsedArguments;
  const std::vector<std::string_view> args(argv + 1, argv + argc);
  const ParsedArguments parsed = sieve_decode::ParseArguments(args);
  if (parsed.outcome == ParsedArguments::Outcome::kHelp) {
    std::printf("%s\n", sieve_decode::kHelp.data());
    return 0;
  }
  if (parsed.outcome == ParsedArguments::Outcome::kUsageError) {
    std::fprintf(stderr, "sieve-decode: %s\n%s\n", parsed.error.c_str(),
                 sieve_decode::kUsage.data());
    return 2;
  }
  sieve_decode::CallPrinter printer(parsed.options.trace, stdout);
  std::string error = sieve_decode::Decode(parsed.options, printer);
  if (std::fflush(stdout) != 0 && error.empty()) error = "cannot write the output";
  // A run that decodes nothing has not done its job, however cleanly it ran.
  if (error.empty() && printer.records() == 0) error = sieve_decode::NothingDecoded(parsed.options);
  if (!error.empty()) {
    std::fprintf(stderr, "sieve-decode: %s\n", error.c_str());
    return 1;
  }
  return 0;
}
