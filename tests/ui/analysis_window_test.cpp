#include "app/ui/analysis_window.h"

#include <gtest/gtest.h>

#include <QGroupBox>
#include <QImage>
#include <QLabel>
#include <QLayout>
#include <QPalette>
#include <QPointer>
#include <QPushButton>
#include <QSignalSpy>
#include <algorithm>
#include <cmath>
#include <string>

#include "app/ui/bar_graph.h"
#include "support/signal_captures.h"
#include "ui_test_support.h"

namespace kestrel {
namespace {

using kestrel_test::DeleteClosedWindows;
using kestrel_test::Find;

// Square waves: 20 samples at +100, 20 at -100 raw; 127 and 0 masked; a mark every 10th sample
// from sample 5, so marks fall mid-stretch and never where the signal steps.
SignalCapture Square(int count, int sign = 1) {
  SignalCapture c;
  c.count = count;
  c.rate = 44100;
  c.threshold = 64 * sign;
  for (int i = 0; i < count; ++i) {
    const bool high = (i / 20) % 2 == 0;
    c.raw.push_back(sign * (high ? 100 : -100));
    c.masked.push_back(sign * (high ? 127 : 0));
    c.marks.push_back(i % 10 == 5);
  }
  return c;
}

// The pixel row of `value` on a scale from lowest - 30 (bottom row) to highest + 30 (top row),
// the rest level 0 always inside.
int ExpectedRow(int value, int lowest, int highest, int height) {
  const int top = std::max(highest, 0) + 30, bottom = std::min(lowest, 0) - 30;
  return int(std::lround(double(top - value) * (height - 1) / (top - bottom)));
}

bool Dark(QRgb pixel) { return qGray(pixel) < 100; }

// What the box shows inside its border.
QImage Drawing(GraphPicture* box) {
  return box->grab().toImage().copy(box->contentsRect()).convertToFormat(QImage::Format_RGB32);
}

// Rows of the dark pixels in column x: {first, last}, or {-1, -1} when there are none.
std::pair<int, int> DarkRows(const QImage& image, int x) {
  int first = -1, last = -1;
  for (int y = 0; y < image.height(); ++y) {
    if (!Dark(image.pixel(x, y))) continue;
    if (first < 0) first = y;
    last = y;
  }
  return {first, last};
}

class AnalysisWindowTest : public ::testing::Test {
 protected:
  ~AnalysisWindowTest() override {
    delete window_.data();
    DeleteClosedWindows();
  }
  AnalysisWindow& Open(bool always_on_top = false) {
    window_ = new AnalysisWindow(always_on_top);
    window_->show();
    Settle();
    return *window_;
  }
  void Settle() { window_->layout()->activate(); }
  template <class T>
  T* Child(const char* name) {
    return Find<T>(window_.data(), name);
  }
  GraphPicture* SignalBox() { return Child<GraphPicture>("SignalPictureBox"); }
  GraphPicture* InterprettedBox() { return Child<GraphPicture>("InterprettedPictureBox"); }
  std::string Explanation() { return Child<QLabel>("ExplainLabel")->text().toStdString(); }
  static std::string Shown(int rate, int samples) { return SignalExplanation(rate, samples); }

  QPointer<AnalysisWindow> window_;
};

TEST_F(AnalysisWindowTest, DesignNamesCaptionsAndFrames) {
  Open();
  EXPECT_EQ(window_->objectName(), "Analysis");
  EXPECT_EQ(window_->windowTitle(), "Signal Analysis");
  EXPECT_TRUE(window_->testAttribute(Qt::WA_DeleteOnClose));
  const struct {
    const char* child;
    const char* frame;
  } frames[] = {{"SignalPictureBox", "Received Signal"},
                {"InterprettedPictureBox", "Interpretted Signal"},
                {"ExplainLabel", "Explanation"}};
  for (const auto& f : frames) {
    auto* child = Child<QWidget>(f.child);
    ASSERT_NE(child, nullptr);
    auto* frame = qobject_cast<QGroupBox*>(child->parentWidget());
    ASSERT_NE(frame, nullptr) << f.child;
    EXPECT_EQ(frame->title(), f.frame);
  }
  auto* label = Child<QLabel>("ExplainLabel");
  EXPECT_TRUE(label->wordWrap());
  EXPECT_EQ(label->textFormat(), Qt::PlainText);
  EXPECT_EQ(Child<QPushButton>("RefreshButton")->text(), "&Refresh");
  EXPECT_EQ(Child<QPushButton>("CloseButton")->text(), "&Close");
  // Both plots get a usable share of a window that is not crowded on a small screen.
  EXPECT_LE(window_->width(), 800);
  EXPECT_GE(SignalBox()->DrawingSize().width(), 500);
  EXPECT_GE(SignalBox()->DrawingSize().height(), 100);
  EXPECT_EQ(InterprettedBox()->DrawingSize().width(), SignalBox()->DrawingSize().width());
  EXPECT_NEAR(InterprettedBox()->DrawingSize().height(), SignalBox()->DrawingSize().height(), 1);
}

TEST_F(AnalysisWindowTest, AlwaysOnTopAppliesFromTheStartAndIsAWindowEvenWithAParent) {
  QWidget owner;
  auto* on_top = new AnalysisWindow(true, &owner);
  EXPECT_TRUE(on_top->isWindow());
  EXPECT_TRUE(on_top->windowFlags().testFlag(Qt::WindowStaysOnTopHint));
  Open(false);
  EXPECT_FALSE(window_->windowFlags().testFlag(Qt::WindowStaysOnTopHint));
}

TEST_F(AnalysisWindowTest, PlotsOnePixelColumnPerSampleOverGreyMarks) {
  Open();
  window_->Draw(Square(300));
  const QImage raw = Drawing(SignalBox());
  const int height = raw.height();
  const QRgb white = qRgb(255, 255, 255);
  const QRgb grey = MarkColor(SignalBox()->palette()).rgb();
  ASSERT_NE(grey, white);
  ASSERT_FALSE(Dark(grey));
  const int high = ExpectedRow(100, -100, 100, height);
  const int low = ExpectedRow(-100, -100, 100, height);
  EXPECT_LT(high, height / 4);  // the range plus its margins fills the height
  EXPECT_GT(low, height * 3 / 4);

  for (int x : {2, 12, 42}) {  // high stretches, unmarked columns
    EXPECT_EQ(DarkRows(raw, x), std::make_pair(high, high)) << x;
    EXPECT_EQ(raw.pixel(x, height / 2), white) << x;
  }
  for (int x : {22, 32, 275}) EXPECT_EQ(DarkRows(raw, x), std::make_pair(low, low)) << x;
  // Consecutive points are joined: the step at sample 20 is a line, not two loose dots.
  const auto step = DarkRows(raw, 19), after = DarkRows(raw, 20);
  EXPECT_EQ(std::min(step.first, after.first), high);
  EXPECT_EQ(std::max(step.second, after.second), low);
  for (int y = high; y <= low; ++y)
    EXPECT_TRUE(Dark(raw.pixel(19, y)) || Dark(raw.pixel(20, y))) << y;

  // Marks: the whole column grey except under the signal.
  for (int x : {5, 15, 25, 295}) {
    for (int y : {0, height / 2, height - 1}) EXPECT_EQ(raw.pixel(x, y), grey) << x << "," << y;
  }
  EXPECT_EQ(raw.pixel(4, height / 2), white);
  EXPECT_EQ(raw.pixel(6, height / 2), white);
  // Past the last sample there is nothing.
  for (int x = 300; x < raw.width(); ++x) ASSERT_EQ(DarkRows(raw, x).first, -1) << x;
  EXPECT_EQ(raw.pixel(305, height / 2), white);

  // The masked values on their own scale, with the same marks.
  const QImage masked = Drawing(InterprettedBox());
  EXPECT_EQ(DarkRows(masked, 2).first, ExpectedRow(127, 0, 127, masked.height()));
  EXPECT_EQ(DarkRows(masked, 22).first, ExpectedRow(0, 0, 127, masked.height()));
  EXPECT_EQ(masked.pixel(15, 0), grey);
}

TEST_F(AnalysisWindowTest, ThresholdIsAFaintLineOnTheInterprettedPlotOnly) {
  Open();
  window_->Draw(Square(100));
  const QImage masked = Drawing(InterprettedBox());
  const int row = ExpectedRow(64, 0, 127, masked.height());
  const QRgb white = qRgb(255, 255, 255);
  int faint = 0;
  for (int x = 100; x < masked.width(); ++x) {
    const QRgb pixel = masked.pixel(x, row);
    if (pixel != white) {
      ++faint;
      EXPECT_GT(qGray(pixel), 150) << x;
    }
    EXPECT_EQ(masked.pixel(x, row - 3), white) << x;
  }
  EXPECT_GT(faint, (masked.width() - 100) / 3);
  const QImage raw = Drawing(SignalBox());
  for (int x = 100; x < raw.width(); ++x)
    for (int y = 0; y < raw.height(); ++y) ASSERT_EQ(raw.pixel(x, y), white) << x << "," << y;
}

TEST_F(AnalysisWindowTest, ReversedPolarityTurnsBothPlotsUpsideDown) {
  Open();
  for (const char* name : {"SignalPictureBox", "InterprettedPictureBox"}) {
    auto* box = Child<GraphPicture>(name);
    window_->Draw(kestrel_test::AudioCapture(44100, 1));
    const QImage upright = Drawing(box);
    window_->Draw(kestrel_test::AudioCapture(44100, -1));
    const QImage reversed = Drawing(box);
    const int shown = window_->SamplesShown();
    ASSERT_GT(shown, 500);
    const int bottom = upright.height() - 1;
    int differing = 0;
    for (int x = 0; x < shown; ++x) {
      const auto up = DarkRows(upright, x), down = DarkRows(reversed, x);
      ASSERT_NE(up.first, -1) << name << " " << x;
      // Rows round either way at halves, and a joining line may split its pixels between the
      // two columns one row differently.
      EXPECT_NEAR(down.first, bottom - up.second, 2) << name << " " << x;
      EXPECT_NEAR(down.second, bottom - up.first, 2) << name << " " << x;
      if (up != down) ++differing;
    }
    EXPECT_GT(differing, shown / 2) << name;  // a flat line would mirror onto itself
  }
}

TEST_F(AnalysisWindowTest, SamplesShownAreLimitedByTheBoxWidth) {
  Open();
  const int width = SignalBox()->DrawingSize().width();
  const struct {
    int count;
    int shown;
  } cases[] = {{width - 1, width - 1}, {width, width}, {width + 1, width}, {8192, width}};
  for (const auto& c : cases) {
    window_->Draw(Square(c.count));
    EXPECT_EQ(window_->SamplesShown(), c.shown) << c.count;
    EXPECT_EQ(Explanation(), Shown(44100, c.shown)) << c.count;
    const QImage raw = Drawing(SignalBox());
    EXPECT_NE(DarkRows(raw, c.shown - 1).first, -1) << c.count;
  }
  window_->Draw(Square(width - 1));
  EXPECT_EQ(DarkRows(Drawing(SignalBox()), width - 1).first, -1);
}

TEST_F(AnalysisWindowTest, ExplanationStatesTheRateAndTheSamplesShown) {
  Open();
  SignalCapture c = kestrel_test::RM100Capture(1);
  ASSERT_EQ(c.count, SignalCapture::kMaxSamples);
  window_->Draw(c);
  const int shown = SignalBox()->DrawingSize().width();
  EXPECT_EQ(window_->SamplesShown(), shown);
  EXPECT_EQ(Explanation(), Shown(19200, shown));
  EXPECT_NE(Explanation().find("every 4 samples"), std::string::npos);
  EXPECT_NE(Explanation().find(".\r\n\r\nThe vertical"), std::string::npos);

  c.rate = 22050;
  window_->Draw(c);
  EXPECT_EQ(Explanation(), Shown(22050, shown));
}

TEST_F(AnalysisWindowTest, ResizingDrawsTheCaptureAgainAtTheNewWidth) {
  Open();
  window_->Draw(Square(8192));
  const int wide = window_->SamplesShown();
  window_->resize(window_->width() - 200, window_->height() - 100);
  Settle();
  const int narrow = SignalBox()->DrawingSize().width();
  ASSERT_EQ(narrow, wide - 200);
  EXPECT_EQ(window_->SamplesShown(), narrow);
  EXPECT_EQ(Explanation(), Shown(44100, narrow));
  const QImage raw = Drawing(SignalBox());
  EXPECT_EQ(raw.size(), SignalBox()->DrawingSize());
  EXPECT_EQ(DarkRows(raw, 2).first, ExpectedRow(100, -100, 100, raw.height()));
  EXPECT_NE(DarkRows(raw, narrow - 1).first, -1);
}

TEST_F(AnalysisWindowTest, DrawnBeforeItIsShownItFitsTheLaidOutBox) {
  window_ = new AnalysisWindow(false);
  window_->Draw(Square(8192));
  window_->show();
  Settle();
  EXPECT_EQ(window_->SamplesShown(), SignalBox()->DrawingSize().width());
  EXPECT_EQ(Drawing(SignalBox()).size(), SignalBox()->DrawingSize());
}

TEST_F(AnalysisWindowTest, EmptyOrShortCapturesDrawWhatThereIs) {
  Open();
  window_->Draw(SignalCapture{});
  EXPECT_EQ(window_->SamplesShown(), 0);
  EXPECT_EQ(Explanation(), Shown(0, 0));
  const QImage blank = Drawing(SignalBox());
  for (int x = 0; x < blank.width(); ++x) ASSERT_EQ(DarkRows(blank, x).first, -1) << x;

  // A count beyond the arrays never reads past them.
  SignalCapture short_arrays = Square(50);
  short_arrays.count = 400;
  short_arrays.marks.resize(40);
  window_->Draw(short_arrays);
  EXPECT_EQ(window_->SamplesShown(), 40);

  window_->Draw(Square(1));
  EXPECT_EQ(window_->SamplesShown(), 1);
  EXPECT_NE(DarkRows(Drawing(SignalBox()), 0).first, -1);
}

TEST_F(AnalysisWindowTest, RefreshAsksAndCloseClosesAndDeletes) {
  Open();
  QSignalSpy refresh(window_.data(), &AnalysisWindow::RefreshClicked);
  QSignalSpy closed(window_.data(), &AnalysisWindow::Closed);
  Child<QPushButton>("RefreshButton")->click();
  EXPECT_EQ(refresh.count(), 1);
  EXPECT_EQ(closed.count(), 0);
  EXPECT_TRUE(window_->isVisible());
  Child<QPushButton>("CloseButton")->click();
  EXPECT_EQ(closed.count(), 1);
  EXPECT_EQ(refresh.count(), 1);
  DeleteClosedWindows();
  EXPECT_TRUE(window_.isNull());
}

TEST_F(AnalysisWindowTest, ClosingByTheWindowManagerAlsoTellsTheOwner) {
  Open();
  QSignalSpy closed(window_.data(), &AnalysisWindow::Closed);
  window_->close();
  EXPECT_EQ(closed.count(), 1);
  DeleteClosedWindows();
  EXPECT_TRUE(window_.isNull());
}

// ---- BarGraph on its own ----

TEST(MarkColorTest, TheButtonFaceBroughtIntoAVisibleMidGrey) {
  const struct {
    QColor button;
    int gray;
  } cases[] = {{QColor(0xEF, 0xEF, 0xEF), 204},   // a light theme's, too faint on white
               {QColor(0xC0, 0xC0, 0xC0), 192},   // the classic grey is kept
               {QColor(0x35, 0x35, 0x35), 158}};  // a dark theme's, too close to the signal
  for (const auto& c : cases) {
    QPalette palette;
    palette.setColor(QPalette::Button, c.button);
    const QColor mark = MarkColor(palette);
    EXPECT_NEAR(mark.red(), c.gray, 1) << c.button.name().toStdString();
    EXPECT_EQ(mark.red(), mark.green());
    EXPECT_EQ(mark.green(), mark.blue());
  }
  QPalette tinted;
  tinted.setColor(QPalette::Button, QColor(0xD4, 0xD0, 0xC8));  // a warm grey keeps its hue
  const QColor mark = MarkColor(tinted);
  EXPECT_GT(mark.red(), mark.blue());
  EXPECT_LE(mark.lightnessF(), 0.81);
}

TEST(BarGraphTest, AdjustScaleFitsTheValuesElseTheWholeSampleRange) {
  GraphPicture box;
  box.resize(200 + 2 * box.frameWidth(), 101 + 2 * box.frameWidth());
  ASSERT_EQ(box.DrawingSize(), QSize(200, 101));
  BarGraph graph(&box);
  EXPECT_EQ(graph.PictureBox(), &box);
  EXPECT_FALSE(graph.AdjustScale());
  graph.Plot(20);
  graph.Plot(-20);
  // Off: -158..158 over 100 rows.
  EXPECT_EQ(graph.Row(158, 101), 0);
  EXPECT_EQ(graph.Row(0, 101), 50);
  EXPECT_EQ(graph.Row(-158, 101), 100);
  graph.SetAdjustScale(true);
  // On: -50..50.
  EXPECT_EQ(graph.Row(50, 101), 0);
  EXPECT_EQ(graph.Row(20, 101), 30);
  EXPECT_EQ(graph.Row(-20, 101), 70);
  EXPECT_EQ(graph.Row(-50, 101), 100);
  graph.Plot(45);  // the range follows the values: -50..75
  EXPECT_EQ(graph.Row(75, 101), 0);
  EXPECT_EQ(graph.Row(-50, 101), 100);

  graph.Graph();
  const QImage& picture = box.Picture();
  ASSERT_EQ(picture.size(), QSize(200, 101));
  EXPECT_TRUE(Dark(picture.pixel(0, graph.Row(20, 101))));
  EXPECT_TRUE(Dark(picture.pixel(2, graph.Row(45, 101))));
  EXPECT_EQ(DarkRows(picture, 3).first, -1);
}

TEST(BarGraphTest, OnlyPositiveValuesStillKeepTheRestLevelInRange) {
  GraphPicture box;
  BarGraph graph(&box);
  graph.SetAdjustScale(true);
  graph.Plot(127);
  graph.Plot(100);
  // -30..157: 0 at 157/187 of the way down.
  EXPECT_EQ(graph.Row(157, 188), 0);
  EXPECT_EQ(graph.Row(0, 188), 157);
  EXPECT_EQ(graph.Row(-30, 188), 187);
  EXPECT_EQ(graph.Row(5, 1), 0);  // a one-row drawing has only row 0
}

}  // namespace
}  // namespace kestrel
