#include "app/ui/mdt_font.h"

namespace kestrel {

namespace {
constexpr double kDefaultPoints = 9;
}

QFont FixedPitchFont(const QString& family, double points, bool bold, bool italic) {
  QFont font(family);
  font.setStyleHint(QFont::TypeWriter);
  font.setFixedPitch(true);
  font.setPointSizeF(points > 0 ? points : kDefaultPoints);
  font.setBold(bold);
  font.setItalic(italic);
  return font;
}

QFont MdtFont(const Settings& settings) {
  return FixedPitchFont(QString::fromStdString(settings.MDTFontName), settings.MDTFontSize,
                        settings.MDTFontBold, settings.MDTFontItalic);
}

QColor ToQColor(Colour colour, QColor fallback) {
  if (colour < 0) return fallback;
  return QColor(colour & 0xFF, (colour >> 8) & 0xFF, (colour >> 16) & 0xFF);
}

}  // namespace kestrel
