#include "app/rules/alert_layout.h"

#include <gtest/gtest.h>

namespace kestrel {
namespace {

// A 9-point MDT font of 105-twip glyphs, 40 columns, the design's controls.
AlertLayoutInput Design() {
  AlertLayoutInput in;
  in.window_width = 6000;
  in.window_height = 4200;
  in.message_left = 120;
  in.message_top = 480;
  in.message_height = 1000;
  in.glyph_width = 105;
  in.mdt_columns = 40;
  in.close_width = 1000;
  in.traffic_width = 1300;
  in.move_width = 2200;
  in.button_height = 375;
  in.buttons_top = 3000;
  in.received_label_width = 1100;
  in.received_width = 900;
  in.received_left = 10;
  in.received_label_left = 10;
  return in;
}

double Gap(const AlertLayoutInput& in, const AlertLayout& out) {
  return out.traffic_left - out.close_left - in.close_width;
}

TEST(AlertLayoutTest, TextBoxHoldsOneMdtLineAndTheWindowFollows) {
  const AlertLayoutInput in = Design();
  const AlertLayout out = LayOutAlert(in);
  EXPECT_DOUBLE_EQ(out.message_width, 40 * 105 + 450);
  EXPECT_DOUBLE_EQ(out.window_width, 4650 + 2 * 120 + 100);
  EXPECT_DOUBLE_EQ(out.message_height, 4200 - 480 - 400 - 500);

  AlertLayoutInput wider = Design();
  wider.mdt_columns = 80;
  EXPECT_DOUBLE_EQ(LayOutAlert(wider).message_width, 80 * 105 + 450);
}

TEST(AlertLayoutTest, MaximisedWindowKeepsItsWidth) {
  AlertLayoutInput in = Design();
  in.width_fixed = true;
  const AlertLayout out = LayOutAlert(in);
  EXPECT_DOUBLE_EQ(out.window_width, 6000);
  EXPECT_DOUBLE_EQ(out.received_left, 6000 - 1100 - 900 + 700);
}

TEST(AlertLayoutTest, TooShortWindowKeepsTheLastHeights) {
  AlertLayoutInput in = Design();
  in.window_height = 480 + 900 + 1;  // one twip of text box left
  EXPECT_DOUBLE_EQ(LayOutAlert(in).message_height, 1);
  in.window_height = 480 + 900;
  EXPECT_DOUBLE_EQ(LayOutAlert(in).message_height, 1000);
  in.window_height = 100;
  EXPECT_DOUBLE_EQ(LayOutAlert(in).message_height, 1000);

  in.window_height = 375 + 500 + 1;
  EXPECT_DOUBLE_EQ(LayOutAlert(in).buttons_top, 1);
  in.window_height = 375 + 500;
  EXPECT_DOUBLE_EQ(LayOutAlert(in).buttons_top, 3000);
}

TEST(AlertLayoutTest, ButtonsCentredUnderTheBoxInTheirOrder) {
  const AlertLayoutInput in = Design();
  const AlertLayout out = LayOutAlert(in);
  EXPECT_DOUBLE_EQ(Gap(in, out), (4650 - 4500) / 2.0);
  EXPECT_DOUBLE_EQ(out.close_left, 120 + 4650 / 2.0 - (4500 + 2 * 75) / 2.0);
  EXPECT_DOUBLE_EQ(out.move_left, out.traffic_left + 1300 + 75);
  EXPECT_DOUBLE_EQ(out.buttons_top, 4200 - 375 - 500);
  // The group's middle is the box's middle.
  EXPECT_DOUBLE_EQ((out.close_left + out.move_left + 2200) / 2, 120 + 4650 / 2.0);
}

TEST(AlertLayoutTest, GapIsCappedAt355) {
  AlertLayoutInput in = Design();
  in.glyph_width = 119;  // box 5210: a gap of exactly 355
  EXPECT_DOUBLE_EQ(Gap(in, LayOutAlert(in)), 355);
  in.glyph_width = 119.05;  // box 5212: 356 without the cap
  AlertLayout out = LayOutAlert(in);
  EXPECT_DOUBLE_EQ(Gap(in, out), 355);
  EXPECT_NEAR((out.close_left + out.move_left + 2200) / 2, 120 + 5212 / 2.0, 1e-6);
  in.mdt_columns = 200;
  EXPECT_DOUBLE_EQ(Gap(in, LayOutAlert(in)), 355);
}

TEST(AlertLayoutTest, BoxTooNarrowForTheButtonsNeitherCrowdsNorClipsThem) {
  AlertLayoutInput in = Design();
  in.mdt_columns = 5;  // box 975, buttons 4500
  const AlertLayout out = LayOutAlert(in);
  EXPECT_DOUBLE_EQ(out.message_width, 975);
  EXPECT_DOUBLE_EQ(Gap(in, out), 60);
  EXPECT_DOUBLE_EQ(out.close_left, 120);
  EXPECT_DOUBLE_EQ(out.move_left, 120 + 1000 + 60 + 1300 + 60);
  EXPECT_DOUBLE_EQ(out.window_width, 4500 + 2 * 60 + 2 * 120 + 100);
  EXPECT_LE(out.move_left + 2200, out.window_width - 100);

  in.mdt_columns = 40;
  in.glyph_width = (4500 + 2 * 60 - 450) / 40.0;  // box exactly as wide as the buttons and gaps
  const AlertLayout exact = LayOutAlert(in);
  EXPECT_DOUBLE_EQ(Gap(in, exact), 60);
  EXPECT_DOUBLE_EQ(exact.close_left, 120);
  EXPECT_DOUBLE_EQ(exact.window_width, 4620 + 2 * 120 + 100);
  in.glyph_width = (4500 + 2 * 61 - 450) / 40.0;  // one more twip each side: the gap follows
  EXPECT_NEAR(Gap(in, LayOutAlert(in)), 61, 1e-9);
  in.glyph_width = (4500 + 2 * 59 - 450) / 40.0;  // one less: the gap stays, the window grows
  const AlertLayout narrow = LayOutAlert(in);
  EXPECT_NEAR(Gap(in, narrow), 60, 1e-9);
  EXPECT_NEAR(narrow.window_width, 4620 + 2 * 120 + 100, 1e-9);
}

TEST(AlertLayoutTest, BoxNeverMakesTheWindowWiderThanTheScreen) {
  AlertLayoutInput in = Design();
  in.mdt_columns = 1000;
  in.max_window_width = 20000;
  AlertLayout out = LayOutAlert(in);
  EXPECT_DOUBLE_EQ(out.window_width, 20000);
  EXPECT_DOUBLE_EQ(out.message_width, 20000 - 2 * 120 - 100);

  in.mdt_columns = 40;
  in.max_window_width = 4650 + 2 * 120 + 100;  // fits exactly
  out = LayOutAlert(in);
  EXPECT_DOUBLE_EQ(out.message_width, 4650);
  in.max_window_width -= 1;
  EXPECT_DOUBLE_EQ(LayOutAlert(in).message_width, 4649);
}

TEST(AlertLayoutTest, ReceivedLabelsKeepToTheRightEdge) {
  const AlertLayoutInput in = Design();
  const AlertLayout out = LayOutAlert(in);
  EXPECT_DOUBLE_EQ(out.received_left, 4990 - 1100 - 900 + 700);
  EXPECT_DOUBLE_EQ(out.received_label_left, out.received_left - 1100 - 50);
}

TEST(AlertLayoutTest, ReceivedPositionsOfZeroOrLessAreNotApplied) {
  AlertLayoutInput in = Design();
  in.mdt_columns = 0;  // window 790
  in.close_width = in.traffic_width = in.move_width = 0;
  in.received_width = 390;  // received left 790 - 1100 - 390 + 700 = 0
  AlertLayout out = LayOutAlert(in);
  EXPECT_DOUBLE_EQ(out.received_left, 10);
  EXPECT_DOUBLE_EQ(out.received_label_left, 10);  // 10 - 1100 - 50: not applied either

  in.received_width = 389;  // received left 1
  out = LayOutAlert(in);
  EXPECT_DOUBLE_EQ(out.received_left, 1);
  EXPECT_DOUBLE_EQ(out.received_label_left, 10);

  in.received_label_width = 100;  // received left 1001, label left 1001 - 100 - 50
  out = LayOutAlert(in);
  EXPECT_DOUBLE_EQ(out.received_left, 1001);
  EXPECT_DOUBLE_EQ(out.received_label_left, 851);
}

}  // namespace
}  // namespace kestrel
