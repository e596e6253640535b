#include "app/ui/analysis_window.h"

#include <QCloseEvent>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>
#include <algorithm>

#include "app/profile/set_topmost.h"
#include "app/ui/bar_graph.h"
#include "app/ui/widget_helpers.h"
#include "app/ui/window_geometry.h"

namespace kestrel {

namespace {

constexpr double kDesignWidth = 12000;  // twips
constexpr double kDesignHeight = 8400;

QGroupBox* NewFrame(const char* name, const QString& title, QWidget* content, QWidget* parent) {
  auto* frame = new QGroupBox(title, parent);
  frame->setObjectName(name);
  auto* layout = new QVBoxLayout(frame);
  layout->addWidget(content);
  return frame;
}

GraphPicture* NewPictureBox(const char* name, QWidget* parent) {
  auto* box = new GraphPicture(parent);
  box->setObjectName(name);
  return box;
}

}  // namespace

AnalysisWindow::AnalysisWindow(bool always_on_top, QWidget* parent)
    : QWidget(parent, Qt::Window),
      signal_box_(NewPictureBox("SignalPictureBox", this)),
      interpretted_box_(NewPictureBox("InterprettedPictureBox", this)),
      explain_label_(NewLabel("ExplainLabel", QString(), this)) {
  setObjectName("Analysis");
  setWindowTitle("Signal Analysis");
  setAttribute(Qt::WA_DeleteOnClose);
  explain_label_->setWordWrap(true);
  explain_label_->setAlignment(Qt::AlignLeft | Qt::AlignTop);

  auto* refresh = NewButton("RefreshButton", "&Refresh", this);
  auto* close_button = NewButton("CloseButton", "&Close", this);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  buttons->addWidget(refresh);
  buttons->addWidget(close_button);

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(NewFrame("ReceivedFrame", "Received Signal", signal_box_, this), 1);
  layout->addWidget(NewFrame("InterprettedFrame", "Interpretted Signal", interpretted_box_, this),
                    1);
  layout->addWidget(NewFrame("ExplanationFrame", "Explanation", explain_label_, this), 0);
  layout->addLayout(buttons);
  resize(ToPixels(*this, kDesignWidth), ToPixels(*this, kDesignHeight));

  SetTopmost(this, always_on_top);
  connect(refresh, &QPushButton::clicked, this, &AnalysisWindow::RefreshClicked);
  connect(close_button, &QPushButton::clicked, this, &QWidget::close);
  // Both boxes share the width, so either one's change redraws both at the new size.
  connect(signal_box_, &GraphPicture::Resized, this, &AnalysisWindow::Redraw);
  connect(interpretted_box_, &GraphPicture::Resized, this, &AnalysisWindow::Redraw);
}

void AnalysisWindow::Draw(const SignalCapture& capture) {
  capture_ = capture;
  drawn_ = true;
  Redraw();
}

void AnalysisWindow::Redraw() {
  if (!drawn_) return;
  // The arrays may be shorter than the count claims; never read past them.
  const int available = int(std::min({capture_.raw.size(), capture_.masked.size(),
                                      capture_.marks.size(), size_t(std::max(capture_.count, 0))}));
  shown_ = std::clamp(signal_box_->DrawingSize().width(), 0, available);

  BarGraph received(signal_box_);
  BarGraph interpretted(interpretted_box_);
  received.SetAdjustScale(true);
  interpretted.SetAdjustScale(true);
  for (int i = 0; i < shown_; ++i) {
    received.Plot(capture_.raw[size_t(i)]);
    interpretted.Plot(capture_.masked[size_t(i)]);
    if (capture_.marks[size_t(i)]) {
      received.Mark(i);
      interpretted.Mark(i);
    }
  }
  interpretted.SetLevel(capture_.threshold);
  received.Graph();
  interpretted.Graph();

  explain_label_->setText(Latin1(SignalExplanation(capture_.rate, shown_)));
}

void AnalysisWindow::closeEvent(QCloseEvent* event) {
  emit Closed();
  QWidget::closeEvent(event);
}

}  // namespace kestrel
