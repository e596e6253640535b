#pragma once

#include <cmath>

namespace kestrel {

// Window geometry is kept in twips (1440 to the inch), as profiles always stored it; windows
// convert at the screen's logical DPI.
inline constexpr double kTwipsPerInch = 1440.0;

inline int TwipsToPixels(double twips, double dpi) {
  return int(std::lround(twips * dpi / kTwipsPerInch));
}
inline double PixelsToTwips(double pixels, double dpi) { return pixels * kTwipsPerInch / dpi; }

}  // namespace kestrel
