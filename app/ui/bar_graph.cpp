#include "app/ui/bar_graph.h"

#include <QPainter>
#include <QPalette>
#include <QResizeEvent>
#include <algorithm>
#include <cmath>

namespace kestrel {

namespace {
const QColor kBackground(0xFF, 0xFF, 0xFF);
const QColor kSignal(0x00, 0x00, 0x00);
const QColor kLevel(0xF0, 0xB0, 0xB0);  // faint red: a reference, not part of the signal
constexpr QSize kPreferredSize(600, 160);
constexpr QSize kSmallestSize(120, 60);
constexpr double kMarkLightest = 0.80;  // #CCCCCC for a grey
constexpr double kMarkDarkest = 0.62;
}  // namespace

QColor MarkColor(const QPalette& palette) {
  QColor color = palette.color(QPalette::Button).toHsl();
  color.setHslF(color.hslHueF(), color.hslSaturationF(),
                std::clamp(double(color.lightnessF()), kMarkDarkest, kMarkLightest));
  return color.toRgb();
}

GraphPicture::GraphPicture(QWidget* parent) : QFrame(parent) {
  setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
  setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
}

QSize GraphPicture::DrawingSize() const { return contentsRect().size(); }

void GraphPicture::SetPicture(QImage picture) {
  picture_ = std::move(picture);
  update();
}

QSize GraphPicture::sizeHint() const { return kPreferredSize; }
QSize GraphPicture::minimumSizeHint() const { return kSmallestSize; }

void GraphPicture::paintEvent(QPaintEvent* event) {
  {
    QPainter painter(this);
    const QRect area = contentsRect();
    painter.fillRect(area, kBackground);
    painter.setClipRect(area);
    if (!picture_.isNull()) painter.drawImage(area.topLeft(), picture_);
  }
  QFrame::paintEvent(event);
}

void GraphPicture::resizeEvent(QResizeEvent* event) {
  QFrame::resizeEvent(event);
  if (event->size() != event->oldSize()) emit Resized();
}

void BarGraph::Plot(int value) {
  values_.push_back(value);
  lowest_ = std::min(lowest_, value);
  highest_ = std::max(highest_, value);
}

void BarGraph::Mark(int sample) { marks_.push_back(sample); }

int BarGraph::Row(int value, int height) const {
  if (height <= 1) return 0;
  const int top = (adjust_scale_ ? highest_ : kSampleLimit) + kMargin;
  const int bottom = (adjust_scale_ ? lowest_ : -kSampleLimit) - kMargin;
  return int(std::lround(double(top - value) * (height - 1) / (top - bottom)));
}

void BarGraph::Graph() {
  if (picture_box_ == nullptr) return;
  const QSize size = picture_box_->DrawingSize();
  const qreal ratio = picture_box_->devicePixelRatioF();
  QImage picture(size * ratio, QImage::Format_RGB32);
  picture.setDevicePixelRatio(ratio);
  picture.fill(kBackground);
  if (size.isEmpty()) {
    picture_box_->SetPicture(picture);
    return;
  }
  const int height = size.height();
  QPainter painter(&picture);
  painter.setRenderHint(QPainter::Antialiasing, false);
  painter.setPen(QPen(MarkColor(picture_box_->palette()), 0));
  for (int sample : marks_) painter.drawLine(sample, 0, sample, height - 1);
  if (level_) {
    const int row = Row(*level_, height);
    painter.setPen(QPen(kLevel, 0, Qt::DashLine));
    painter.drawLine(0, row, size.width() - 1, row);
  }
  painter.setPen(QPen(kSignal, 0));
  if (values_.size() == 1) painter.drawPoint(0, Row(values_[0], height));
  if (values_.size() > 1) {
    QPolygon points(int(values_.size()));
    for (int i = 0; i < points.size(); ++i) points[i] = QPoint(i, Row(values_[size_t(i)], height));
    painter.drawPolyline(points);
  }
  painter.end();
  picture_box_->SetPicture(picture);
}

}  // namespace kestrel
