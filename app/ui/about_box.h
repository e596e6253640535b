#pragma once

#include <QDialog>
#include <QString>

namespace kestrel {

// The name of the operating system Kestrel was built for, as the About box shows it: "Linux",
// "Windows", "macOS", or "Unix" for other Unix systems.
QString PlatformName();

// The About box: the program's icon, "Kestrel for " + PlatformName(), "Version " + the program's
// version, and OK, which closes it. Modal; show it with exec(). Kept above other programs'
// windows when `always_on_top` (the AlwaysOnTop setting).
class AboutBox : public QDialog {
  Q_OBJECT

 public:
  explicit AboutBox(bool always_on_top, QWidget* parent = nullptr);
};

}  // namespace kestrel
