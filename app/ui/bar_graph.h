#pragma once

#include <QColor>
#include <QFrame>
#include <QImage>
#include <optional>
#include <vector>

class QPalette;

namespace kestrel {

// A picture box: a sunken frame that shows the picture last drawn on it, and white until then.
// The picture persists as drawn; a change of size only reports Resized(), and whoever drew it
// decides whether to draw again.
class GraphPicture : public QFrame {
  Q_OBJECT

 public:
  explicit GraphPicture(QWidget* parent = nullptr);

  // The area inside the border, in logical pixels.
  QSize DrawingSize() const;
  // Shows `picture` from the top left of the drawing area; drawn at its own device pixel ratio.
  void SetPicture(QImage picture);
  const QImage& Picture() const { return picture_; }

  QSize sizeHint() const override;
  QSize minimumSizeHint() const override;

 signals:
  void Resized();

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  QImage picture_;
};

// The colour of the mark lines: the palette's button-face colour with its lightness brought into
// a mid-grey band, so that the lines show on white (a light theme's button face nearly vanishes
// there) and stay lighter than the black signal (a dark theme's would compete with it).
QColor MarkColor(const QPalette& palette);

// Plots a series of samples on one picture box, one pixel column per sample from the left edge,
// larger values higher up. Graph() draws on a white background: the marked samples as vertical
// lines in MarkColor of the box's palette, the level (when set) as a faint horizontal line, then
// the points joined by black lines, so the signal stays visible over the marks. The vertical scale
// spans the values from the lowest to the highest (the rest level 0 always included) plus kMargin
// units above and below over the full drawing height; with AdjustScale off it spans the whole range
// of a signed 8-bit sample, -128 to 128, instead. Graph() with no points gives a white picture with
// its marks. The box must outlive the graph.
class BarGraph {
 public:
  static constexpr int kMargin = 30;  // units; the value range plus 60 fills the height
  static constexpr int kSampleLimit = 128;

  explicit BarGraph(GraphPicture* picture_box) : picture_box_(picture_box) {}

  GraphPicture* PictureBox() const { return picture_box_; }
  bool AdjustScale() const { return adjust_scale_; }
  void SetAdjustScale(bool on) { adjust_scale_ = on; }

  // Appends the next sample's point.
  void Plot(int value);
  // Marks sample `sample` (0 = the first plotted) with a vertical line.
  void Mark(int sample);
  void SetLevel(int value) { level_ = value; }

  // Draws everything plotted so far at the picture box's present drawing size, replacing its
  // picture. Nothing happens without a picture box.
  void Graph();

  // The pixel row (0 = top) of `value` in a drawing `height` pixels high.
  int Row(int value, int height) const;

 private:
  GraphPicture* picture_box_;
  bool adjust_scale_ = false;
  std::vector<int> values_;
  std::vector<int> marks_;
  std::optional<int> level_;
  int lowest_ = 0;
  int highest_ = 0;
};

}  // namespace kestrel
