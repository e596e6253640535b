#pragma once

namespace kestrel {

// The program: command line, profile, main window, event loop. Returns the exit status.
//   kestrel [PROFILE | -minimized]
//   kestrel --play RECORDING [PROFILE | -minimized]
int RunKestrel(int argc, char** argv);

}  // namespace kestrel
