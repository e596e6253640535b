#include "app/profile/status_window.h"

#include <QCoreApplication>
#include <QLabel>
#include <QProgressBar>
#include <QVBoxLayout>
#include <algorithm>

#include "app/ui/widget_helpers.h"
#include "app/ui/window_geometry.h"

namespace kestrel {

namespace {
constexpr double kDesignWidth = 4800;  // twips
constexpr double kMargin = 180;
}  // namespace

StatusWindow::StatusWindow(QWidget* parent)
    : QWidget(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint),
      label_(new QLabel(this)),
      progress_(new QProgressBar(this)) {
  setObjectName("Status");
  label_->setObjectName("StatusLabel");
  label_->setTextFormat(Qt::PlainText);
  progress_->setObjectName("StatusProgress");
  progress_->setRange(0, 100);
  progress_->setValue(0);
  progress_->setTextVisible(false);
  auto* layout = new QVBoxLayout(this);
  const int margin = ToPixels(*this, kMargin);
  layout->setContentsMargins(margin, margin, margin, margin);
  layout->addWidget(label_);
  layout->addWidget(progress_);
  setFixedWidth(ToPixels(*this, kDesignWidth));
}

void StatusWindow::Show(std::string_view caption, std::string_view label, int percent) {
  setWindowTitle(Utf8(caption));
  label_->setText(Utf8(label));
  progress_->setValue(std::clamp(percent, 0, 100));
  if (!isVisible()) {
    show();
    raise();
    // Lets the new window reach the screen. Input, timers and sockets wait, so the user and the
    // traffic cannot start anything in the middle of the save.
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents |
                                    QEventLoop::ExcludeSocketNotifiers |
                                    QEventLoop::X11ExcludeTimers);
  }
  Paint();
}

void StatusWindow::SetProgress(int percent) {
  percent = std::clamp(percent, 0, 100);
  if (percent == progress_->value()) return;
  progress_->setValue(percent);
  Paint();
}

void StatusWindow::Close() { hide(); }

void StatusWindow::Paint() {
  if (isVisible()) repaint();
}

}  // namespace kestrel
