#pragma once

#include <ostream>
#include <span>
#include <string>

namespace mdcgen {

// Runs the mdcgen command with `args` (the arguments after the program name): usage, and any
// output named "-", on `out`; errors and warnings on `err`. Returns the process exit status: 0 on
// success, 2 for bad arguments or input, 1 when a file cannot be read or written.
int RunMdcgen(std::span<const std::string> args, std::ostream& out, std::ostream& err);

}  // namespace mdcgen
