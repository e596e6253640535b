#pragma once

#include <QWidget>

#include "app/profile/profile.h"

class QLabel;
class QProgressBar;

namespace kestrel {

// The Status window that a profile save shows. The save runs without returning to the event
// loop, so the window paints itself on every change; the user's input waits until the save is
// over and cannot start anything in between. Owned by whoever saves; Close() only hides it.
class StatusWindow : public QWidget, public SaveStatus {
  Q_OBJECT

 public:
  explicit StatusWindow(QWidget* parent = nullptr);

  // Percentages outside 0..100 are taken as the nearest end.
  void Show(std::string_view caption, std::string_view label, int percent) override;
  void SetProgress(int percent) override;
  void Close() override;

 private:
  void Paint();

  QLabel* label_;
  QProgressBar* progress_;
};

}  // namespace kestrel
