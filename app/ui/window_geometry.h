#pragma once

class QWidget;

namespace kestrel {

// Profiles keep a window's position and height as the whole window's, frame included, in twips.
// Qt positions a window by its frame but sizes its client area, and frames differ from desktop to
// desktop, so a fixed nominal frame converts between the two: a height read back is the height
// stored, and a profile from an older installation keeps its window sizes.
inline constexpr double kFrameWidthTwips = 100;
inline constexpr double kFrameHeightTwips = 400;

// The logical DPI of the widget's screen (96 without a screen).
double LogicalDpi(const QWidget& widget);
int ToPixels(const QWidget& widget, double twips);
double ToTwips(const QWidget& widget, double pixels);

// Places the window at top/left with the outer height `height` (all twips), keeping its width.
// Nothing changes when `height` is 0 or less. A position that would put the window on no screen at
// all is not applied, so the window stays reachable.
void RestoreWindowGeometry(QWidget& window, double top, double left, double height);
// The window's top, left and outer height in whole twips.
void StoreWindowGeometry(const QWidget& window, int& top, int& left, int& height);

}  // namespace kestrel
