// A few fixed points of the decoder sweep that the robust decoder must hold: every frame of
// squelched audio, nearly every frame at 0 dB, and never a frame with wrong bytes.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "sweep.h"

namespace sweep {
namespace {

constexpr size_t kFrames = 200;

Score Robust(const std::string& name) {
  for (const Point& point : StandardPoints(kFrames)) {
    if (point.name == name) return Measure(point, DecoderKind::kRobust);
  }
  ADD_FAILURE() << "no point named " << name;
  return {};
}

TEST(DecoderSweepPointsTest, SquelchedAudioAndRm100GiveEveryFrame) {
  for (const char* name : {"squelch 44100 12 dB", "squelch 44100 no noise", "squelch 22050 12 dB",
                           "squelch 22050 no noise", "rm100 clean"}) {
    const Score score = Robust(name);
    EXPECT_EQ(score.sent, kFrames) << name;
    EXPECT_EQ(score.intact, kFrames) << name;
    EXPECT_EQ(score.wrong, 0u) << name;
  }
}

TEST(DecoderSweepPointsTest, WeakFlatAudio) {
  const Score score = Robust("flat 44100 0 dB");
  EXPECT_GE(score.intact, 190u);
  EXPECT_EQ(score.wrong, 0u);
}

TEST(DecoderSweepPointsTest, NothingFromNoise) {
  for (int rate : {44100, 22050, 0}) {
    EXPECT_EQ(NoiseFrames(rate, 120.0, DecoderKind::kRobust, 11), 0u) << rate;
  }
}

}  // namespace
}  // namespace sweep
