#pragma once

class QWidget;

namespace kestrel {

// Keeps `window` above other programs' windows (on) or puts it back among them (off), without
// moving, sizing or showing it: a hidden window stays hidden, a shown one is shown again in the
// state it had. Nothing happens for a null window or when the flag is already as asked.
void SetTopmost(QWidget* window, bool on);

}  // namespace kestrel
