#pragma once

#include <functional>
#include <initializer_list>
#include <string>

class QObject;

namespace kestrel {

// `kestrel --headless [--play RECORDING] [PROFILE]`: the program's monitoring, processing and
// rules without a window or display, publishing its events to the profile's [Outputs]. Builds
// its own QCoreApplication from argc/argv. Window-only rule actions and the messages a window
// would show go to standard error. SIGTERM and SIGINT end it through the exit sequence (the
// profile saved without questions); SIGHUP reopens the output files. A played recording ends the
// run when it is finished. Returns 0 after a clean end, 1 when nothing could be monitored or
// the profile could not be loaded, or when monitoring stopped for good (anything but a network
// feed that is requested again).
int RunHeadless(int argc, char** argv, const std::string& recording,
                const std::string& command_line);

// Hands each of the signals `numbers` to `handle` from `owner`'s event loop rather than from
// the signal handler, so the handler may do anything. Once per process; false when it cannot.
bool CatchSignals(QObject* owner, std::initializer_list<int> numbers,
                  std::function<void(int)> handle);

}  // namespace kestrel
