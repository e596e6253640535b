#pragma once

#include <QMainWindow>

#include "app/platform/qt_text_window.h"

class QAction;
class QPlainTextEdit;

namespace kestrel {

// The Raw Data window: every record as it arrives, as text or as a hex dump, in one read-only
// box that fills the window. A top-level window (also with a parent) that deletes itself when
// closed, its text with it: hold it in a QPointer. Closed() is emitted by every close (its Close
// item, the window's close button, close()), before the window goes; detach Text() from the raw
// data then. Deleting the window without closing it emits nothing. The owner applies
// AlwaysOnTop (SetTopmost) before showing it.
class RawDataForm : public QMainWindow {
  Q_OBJECT

 public:
  explicit RawDataForm(QWidget* parent = nullptr);

  // The box, for RawData::Attach and AddText. Valid until the window is deleted.
  TextWindow& Text() { return text_; }
  // The Display Hex check mark, e.g. as the program's hex display flag stands when the window
  // opens; emits nothing.
  void SetHex(bool on);
  bool Hex() const;

 signals:
  // The user switched Display Hex.
  void HexToggled(bool on);
  void Closed();

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  QPlainTextEdit* raw_data_;
  QAction* hex_;
  QtTextWindow text_;
};

}  // namespace kestrel
