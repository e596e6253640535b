#include "app/ui/window_geometry.h"

#include <QGuiApplication>
#include <QRect>
#include <QScreen>
#include <QWidget>
#include <algorithm>
#include <cmath>

#include "app/platform/twips.h"

namespace kestrel {

namespace {
constexpr double kFallbackDpi = 96;
}

double LogicalDpi(const QWidget& widget) {
  const QScreen* screen = widget.screen();
  if (screen == nullptr) screen = QGuiApplication::primaryScreen();
  if (screen == nullptr || screen->logicalDotsPerInch() <= 0) return kFallbackDpi;
  return screen->logicalDotsPerInch();
}

int ToPixels(const QWidget& widget, double twips) {
  return TwipsToPixels(twips, LogicalDpi(widget));
}

double ToTwips(const QWidget& widget, double pixels) {
  return PixelsToTwips(pixels, LogicalDpi(widget));
}

void RestoreWindowGeometry(QWidget& window, double top, double left, double height) {
  if (height <= 0) return;
  const int client_height = std::max(1, ToPixels(window, height - kFrameHeightTwips));
  window.resize(window.width(), client_height);
  const QRect placed(ToPixels(window, left), ToPixels(window, top), window.width(), client_height);
  const QList<QScreen*> screens = QGuiApplication::screens();
  const bool on_a_screen = std::any_of(screens.begin(), screens.end(), [&](const QScreen* s) {
    return s->availableGeometry().intersects(placed);
  });
  if (on_a_screen) window.move(placed.topLeft());
}

void StoreWindowGeometry(const QWidget& window, int& top, int& left, int& height) {
  top = int(std::lround(ToTwips(window, window.pos().y())));
  left = int(std::lround(ToTwips(window, window.pos().x())));
  height = int(std::lround(ToTwips(window, window.height()) + kFrameHeightTwips));
}

}  // namespace kestrel
