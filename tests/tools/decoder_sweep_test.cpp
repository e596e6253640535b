// The sweep's bookkeeping: what counts as a frame received intact and what as wrong bytes.

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "mdcgen/frame_encoder.h"
#include "sweep.h"

namespace sweep {
namespace {

using mdcgen::Bytes;

Bytes Join(std::initializer_list<Bytes> parts) {
  Bytes joined;
  for (const Bytes& part : parts) joined.insert(joined.end(), part.begin(), part.end());
  return joined;
}

Score Count(const std::vector<Bytes>& sent, std::initializer_list<Bytes> outputs) {
  Tally tally(sent);
  for (const Bytes& output : outputs) tally.Add(output.data(), output.size());
  return tally.score();
}

class TallyTest : public ::testing::Test {
 protected:
  const std::vector<Bytes> sent_ = SweepFrames(3, 30, 7);
  const Bytes padding_ = Bytes(6, 0);  // 30 bytes padded to two 18-byte groups
  const Bytes junk_ = Bytes(18, 0x5A);
};

TEST_F(TallyTest, FramesPaddedOrTrimmedCountOnce) {
  Score score = Count(sent_, {sent_[0], Join({sent_[1], padding_, sent_[2], padding_})});
  EXPECT_EQ(score.sent, 3u);
  EXPECT_EQ(score.intact, 3u);
  EXPECT_EQ(score.wrong, 0u);
  // The same frame twice is one frame received; padding cut short at the end still matches.
  score = Count(sent_, {sent_[0], Join({sent_[0], Bytes(3, 0)})});
  EXPECT_EQ(score.intact, 1u);
  EXPECT_EQ(score.wrong, 0u);
  EXPECT_EQ(Count(sent_, {{}}).intact, 0u);
  EXPECT_EQ(Count(sent_, {{}}).wrong, 0u);
}

TEST_F(TallyTest, AnythingElseIsWrong) {
  // Junk before, between and after frames: one wrong delivery per run of it.
  Score score =
      Count(sent_, {Join({junk_, sent_[0], padding_, junk_, junk_, sent_[1], padding_, junk_})});
  EXPECT_EQ(score.intact, 2u);
  EXPECT_EQ(score.wrong, 3u);
  // One byte changed, one byte missing, one byte too many, a non-zero padding byte.
  Bytes changed = sent_[0];
  changed[17] ^= 0x01;
  Bytes short_frame(sent_[0].begin(), sent_[0].end() - 1);
  Bytes padded_wrong = Join({sent_[0], Bytes{0, 0, 0, 0, 0, 7}});
  for (const Bytes& output : {changed, short_frame, Join({sent_[0], Bytes{1}}), padded_wrong}) {
    score = Count(sent_, {output});
    EXPECT_EQ(score.intact, 0u);
    EXPECT_EQ(score.wrong, 1u);
  }
  // A frame that starts off an 18-byte group is not where a decoder puts one.
  score = Count(sent_, {Join({Bytes(6, 0x11), sent_[0]})});
  EXPECT_EQ(score.intact, 0u);
  EXPECT_EQ(score.wrong, 1u);
  // With nothing sent, every non-empty output is wrong, a lone zero byte included.
  EXPECT_EQ(Count({}, {Bytes{0}, {}, junk_}).wrong, 2u);
}

TEST(SweepFramesTest, DistinctReadableAndReproducible) {
  const std::vector<Bytes> frames = SweepFrames(500, 30, 4800);
  ASSERT_EQ(frames.size(), 500u);
  EXPECT_EQ(SweepFrames(500, 30, 4800), frames);
  EXPECT_NE(SweepFrames(500, 30, 4801), frames);
  EXPECT_EQ(std::set<Bytes>(frames.begin(), frames.end()).size(), frames.size());
  for (const Bytes& frame : frames) {
    ASSERT_EQ(frame.size(), 30u);
    EXPECT_NE(frame.back(), 0);
    EXPECT_TRUE(mdcgen::FalseSyncs(mdcgen::EncodeFrame(frame)).empty());
  }
  EXPECT_EQ(SweepFrames(2, 999, 1)[1].size(), 999u);
}

TEST(StandardPointsTest, CoversTheTable) {
  const std::vector<Point> points = StandardPoints(50);
  std::set<std::string> names;
  std::set<uint64_t> seeds;
  for (const Point& point : points) {
    EXPECT_TRUE(names.insert(point.name).second) << point.name;
    seeds.insert(point.signal.seed);
    EXPECT_EQ(point.frames, 50u);
    EXPECT_EQ(point.frame_bytes, 30u);
    EXPECT_TRUE(mdcgen::CheckSignalOptions(point.signal).empty()) << point.name;
  }
  EXPECT_EQ(seeds.size(), points.size());  // no two points share their noise
  for (const char* name :
       {"flat 44100 -4 dB", "flat 44100 40 dB", "flat 22050 -4 dB", "flat 22050 0 dB",
        "squelch 44100 12 dB", "squelch 22050 no noise", "speaker 44100 12 dB",
        "speaker 22050 12 dB", "rm100 clean", "rm100 flips 1%"}) {
    EXPECT_EQ(names.count(name), 1u) << name;
  }
}

TEST(MeasureTest, CleanSignalsComeBackWhole) {
  for (DecoderKind kind : {DecoderKind::kExact, DecoderKind::kRobust}) {
    Point point;
    point.frames = 10;
    for (int rate : {44100, 22050}) {
      point.rate = rate;
      const Score score = Measure(point, kind);
      EXPECT_EQ(score.sent, 10u);
      EXPECT_EQ(score.intact, 10u) << DecoderName(kind) << " " << rate;
      EXPECT_EQ(score.wrong, 0u);
      EXPECT_NEAR(score.signal_seconds, 10 * (0.5 + 704 / 4800.0) + 0.5, 0.01);
    }
  }
  // Frames sent but never received are counted as lost, not as received.
  Point silent;
  silent.frames = 5;
  silent.signal.amplitude = 0.5;  // rounds away to the rest level
  EXPECT_EQ(Measure(silent, DecoderKind::kExact).intact, 0u);
}

}  // namespace
}  // namespace sweep
