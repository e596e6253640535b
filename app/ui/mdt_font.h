#pragma once

#include <QColor>
#include <QFont>
#include <QString>

#include "app/platform/text_window.h"
#include "app/profile/settings.h"

namespace kestrel {

// A font of the given family that falls back to a fixed-pitch face where the family is missing
// ("Courier New" on a system without it). A size of 0 or less takes the default of 9 points.
QFont FixedPitchFont(const QString& family, double points, bool bold = false, bool italic = false);

// The MDT display's font from MDTFontName, MDTFontSize, MDTFontBold and MDTFontItalic.
QFont MdtFont(const Settings& settings);

// A profile colour (red in the low byte); `fallback` for -1 or any other negative value.
QColor ToQColor(Colour colour, QColor fallback);

}  // namespace kestrel
