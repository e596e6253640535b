#include "app/profile/set_topmost.h"

#include <QWidget>

namespace kestrel {

void SetTopmost(QWidget* window, bool on) {
  if (window == nullptr) return;
  if (window->windowFlags().testFlag(Qt::WindowStaysOnTopHint) == on) return;
  // Changing a window flag recreates the native window and hides it; put back what was there.
  const bool visible = window->isVisible();
  const Qt::WindowStates state = window->windowState();
  const QRect geometry = window->geometry();
  window->setWindowFlag(Qt::WindowStaysOnTopHint, on);
  window->setGeometry(geometry);
  if (visible) {
    const bool quiet = window->testAttribute(Qt::WA_ShowWithoutActivating);
    window->setAttribute(Qt::WA_ShowWithoutActivating, true);
    window->setWindowState(state);
    window->show();
    window->setAttribute(Qt::WA_ShowWithoutActivating, quiet);
  }
}

}  // namespace kestrel
