#pragma once

#include <QWidget>

#include "app/acquisition/signal_capture.h"

class QLabel;

namespace kestrel {

class GraphPicture;

// The Signal Analysis window: one captured block as received and as the decoder's mask left it,
// one pixel column per sample, with grey lines where the bit clock took a bit, and an explanation
// of the numbers. A top-level window (also with a parent) that deletes itself when closed; hold
// it in a QPointer. AlwaysOnTop applies from its creation. The window takes no capture itself:
// Refresh only asks for one.
class AnalysisWindow : public QWidget {
  Q_OBJECT

 public:
  explicit AnalysisWindow(bool always_on_top, QWidget* parent = nullptr);

  // Shows `capture`: W = its count limited to the width of SignalPictureBox in pixels, the first
  // W raw values in SignalPictureBox and masked values (with the threshold as a faint line) in
  // InterprettedPictureBox, and the explanation for W samples. The capture is kept and drawn
  // again whenever the picture boxes change size, W and the explanation with it.
  void Draw(const SignalCapture& capture);

  // The number of samples the last drawing shows.
  int SamplesShown() const { return shown_; }

 signals:
  void RefreshClicked();
  // The window is closing, by whatever way; it is deleted right after.
  void Closed();

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  void Redraw();

  GraphPicture* signal_box_;
  GraphPicture* interpretted_box_;
  QLabel* explain_label_;
  SignalCapture capture_;
  bool drawn_ = false;
  int shown_ = 0;
};

}  // namespace kestrel
