#pragma once

namespace kestrel {

// The program: command line, profile, main window, event loop. Returns the exit status.
//   kestrel [PROFILE | -minimized]
//   kestrel --play RECORDING [PROFILE | -minimized]
//   kestrel --headless [--play RECORDING] [PROFILE]   (no window: see RunHeadless)
int RunKestrel(int argc, char** argv);

}  // namespace kestrel
