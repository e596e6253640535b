#include "decoder/soft_frame_decoder.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "support/frame_bits.h"
#include "support/sampled_bits.h"

namespace sieve {
namespace {

using sieve_test::Bits;
using sieve_test::BlockBits;
using sieve_test::Concat;
using sieve_test::EndBits;
using sieve_test::Preamble;
using sieve_test::SyncBits;
using ::testing::ElementsAre;
using ::testing::ElementsAreArray;
using ::testing::IsEmpty;

using Block = std::array<float, SoftFrameDecoder::kBlockSymbols>;

// Ones as +1, zeros as -1; `flips` inverts the listed positions.
std::vector<float> Soft(const Bits& bits, std::initializer_list<size_t> flips = {}) {
  std::vector<float> soft;
  for (uint8_t bit : bits) soft.push_back(bit ? 1.0f : -1.0f);
  for (size_t i : flips) soft[i] = -soft[i];
  return soft;
}

Block ToBlock(const std::vector<float>& soft) {
  Block block;
  std::copy(soft.begin(), soft.end(), block.begin());
  return block;
}

class SoftFrameDecoderTest : public ::testing::Test {
 protected:
  std::vector<uint8_t> Feed(const std::vector<float>& soft) {
    output_.assign(8192, 0xEE);
    frames_.BeginCall(output_.data());
    for (float value : soft) frames_.ProcessSoftBit(value);
    return {output_.begin(), output_.begin() + frames_.output_count()};
  }
  std::vector<uint8_t> Feed(const Bits& bits) { return Feed(Soft(bits)); }

  SoftFrameDecoder frames_;
  std::vector<uint8_t> output_;
};

TEST(SoftBlockTest, CleanBlockDecodesWithoutCorrections) {
  const auto result = SoftFrameDecoder::DecodeBlock(ToBlock(Soft(BlockBits({1, 2, 3, 4, 5, 6}))));
  EXPECT_TRUE(result.confident);
  EXPECT_EQ(result.disagreements, 0);
  EXPECT_THAT(result.bytes, ElementsAre(1, 2, 3, 4, 5, 6));
}

TEST(SoftBlockTest, ScatteredErrorsAreCorrectedAndCounted) {
  // Three hard errors, one of them a data bit, spread over the block.
  const auto result = SoftFrameDecoder::DecodeBlock(
      ToBlock(Soft(BlockBits({0xA5, 0x5A, 0xFF, 0x00, 0x80, 0x01}), {3, 50, 101})));
  EXPECT_TRUE(result.confident);
  EXPECT_EQ(result.disagreements, 3);
  EXPECT_THAT(result.bytes, ElementsAre(0xA5, 0x5A, 0xFF, 0x00, 0x80, 0x01));
}

TEST(SoftBlockTest, WeakErrorsCountLessThanStrongTruth) {
  // Wrong but barely so: soft decoding keeps the block whole and confident.
  auto soft = Soft(BlockBits({9, 8, 7, 6, 5, 4}));
  for (size_t i = 0; i < soft.size(); i += 9) soft[i] *= -0.05f;
  const auto result = SoftFrameDecoder::DecodeBlock(ToBlock(soft));
  EXPECT_TRUE(result.confident);
  EXPECT_THAT(result.bytes, ElementsAre(9, 8, 7, 6, 5, 4));
}

TEST(SoftBlockTest, NoiseIsNeverConfident) {
  std::mt19937 random(7);
  std::normal_distribution<float> noise(0.0f, 1.0f);
  for (int trial = 0; trial < 2000; ++trial) {
    Block block;
    for (float& value : block) value = noise(random);
    EXPECT_FALSE(SoftFrameDecoder::DecodeBlock(block).confident) << trial;
  }
}

TEST_F(SoftFrameDecoderTest, FrameIsPaddedThenTrimmed) {
  EXPECT_THAT(Feed(Concat({Preamble(), SyncBits(), BlockBits({1, 2, 3, 4, 5, 6}), EndBits()})),
              ElementsAre(1, 2, 3, 4, 5, 6));
  EXPECT_FALSE(frames_.in_frame());
}

TEST_F(SoftFrameDecoderTest, AllZeroFrameLeavesOneByteOnlyWhenFirst) {
  const Bits zero_frame = Concat({SyncBits(), BlockBits({0, 0, 0, 0, 0, 0}), EndBits()});
  EXPECT_THAT(Feed(Concat({Preamble(), zero_frame})), ElementsAre(0));
  EXPECT_THAT(
      Feed(Concat({Preamble(), SyncBits(), BlockBits({7, 0, 0, 0, 0, 0}), EndBits(), zero_frame})),
      ElementsAre(7));
}

TEST_F(SoftFrameDecoderTest, FramesFollowEachOtherWithinOneCall) {
  // Each frame's padding is trimmed as it is delivered, so frames ending in a non-zero byte
  // follow each other directly; zeros inside a frame stay.
  EXPECT_THAT(Feed(Concat({Preamble(), SyncBits(), BlockBits({1, 2, 3, 4, 5, 6}),
                           BlockBits({7, 8, 9, 10, 11, 12}), BlockBits({13, 14, 15, 16, 17, 18}),
                           BlockBits({19, 20, 21, 22, 23, 24}), EndBits(), Preamble(), SyncBits(),
                           BlockBits({0xAA, 0, 0, 0, 0, 0xBB}), EndBits()})),
              ElementsAre(1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18, 19, 20, 21,
                          22, 23, 24, 0xAA, 0, 0, 0, 0, 0xBB));
}

TEST_F(SoftFrameDecoderTest, FrameEndingInALaterCallIsDeliveredThere) {
  const Bits first = Concat({Preamble(), SyncBits(), BlockBits({1, 2, 3, 4, 5, 6})});
  EXPECT_THAT(Feed(first), IsEmpty());
  EXPECT_TRUE(frames_.in_frame());
  EXPECT_THAT(Feed(Concat({BlockBits({7, 8, 9, 10, 11, 12}), EndBits()})),
              ElementsAre(1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12));
}

TEST_F(SoftFrameDecoderTest, AFrameWithAnUndecodableBlockIsDroppedWhole) {
  Bits garbage(112);
  std::mt19937 random(3);
  for (auto& bit : garbage) bit = uint8_t(random() & 1);
  EXPECT_THAT(Feed(Concat({Preamble(), SyncBits(), BlockBits({1, 2, 3, 4, 5, 6}), garbage,
                           BlockBits({7, 8, 9, 10, 11, 12}), EndBits()})),
              IsEmpty());
  // The next frame is not affected.
  EXPECT_THAT(Feed(Concat({Preamble(), SyncBits(), BlockBits({1, 2, 3, 4, 5, 6}), EndBits()})),
              ElementsAre(1, 2, 3, 4, 5, 6));
}

TEST_F(SoftFrameDecoderTest, AFrameWithoutItsClosingWordIsDropped) {
  // Two blocks of rest after the data end the frame; no closing word, so it may be cut short.
  EXPECT_THAT(Feed(Concat({Preamble(), SyncBits(), BlockBits({1, 2, 3, 4, 5, 6}), Bits(224, 0),
                           Preamble()})),
              IsEmpty());
  EXPECT_FALSE(frames_.in_frame());
}

TEST_F(SoftFrameDecoderTest, SyncToleranceBoundary) {
  // Bits 0, 6, 12, ... of the word inverted: at the limit a frame starts, one more and none does.
  const auto flips = [](int count) {
    uint64_t mask = 0;
    for (int i = 0; i < count; ++i) mask |= uint64_t{1} << (6 * i + 1);
    return mask;
  };
  EXPECT_THAT(Feed(Concat({Preamble(), SyncBits(flips(SoftFrameDecoder::kSyncMismatches)),
                           BlockBits({1, 2, 3, 4, 5, 6}), EndBits()})),
              ElementsAre(1, 2, 3, 4, 5, 6));
  EXPECT_THAT(Feed(Concat({Preamble(), SyncBits(flips(SoftFrameDecoder::kSyncMismatches + 1)),
                           BlockBits({1, 2, 3, 4, 5, 6}), EndBits()})),
              IsEmpty());
}

TEST_F(SoftFrameDecoderTest, ClosingToleranceBoundary) {
  const uint64_t at_limit = 0x1F;  // five differences
  EXPECT_THAT(Feed(Concat({Preamble(), SyncBits(), BlockBits({1, 2, 3, 4, 5, 6}), EndBits(at_limit),
                           Preamble()})),
              ElementsAre(1, 2, 3, 4, 5, 6));
  EXPECT_THAT(Feed(Concat({Preamble(), SyncBits(), BlockBits({1, 2, 3, 4, 5, 6}),
                           EndBits(at_limit << 1 | 1), Bits(224, 0), Preamble()})),
              IsEmpty());
}

TEST_F(SoftFrameDecoderTest, LongFrameKeepsItsFirst999Bytes) {
  std::vector<Bits> parts;
  Bits bits = Concat({Preamble(), SyncBits()});
  std::vector<uint8_t> sent;
  for (int b = 0; b < 168; ++b) {
    std::array<uint8_t, 6> bytes;
    for (int k = 0; k < 6; ++k) bytes[size_t(k)] = uint8_t(1 + (b * 6 + k) % 255);
    const Bits block = BlockBits(bytes);
    bits.insert(bits.end(), block.begin(), block.end());
    sent.insert(sent.end(), bytes.begin(), bytes.end());
  }
  const Bits end = EndBits();
  bits.insert(bits.end(), end.begin(), end.end());
  sent.resize(SoftFrameDecoder::kMaxFrameBytes);
  EXPECT_THAT(Feed(bits), ElementsAreArray(sent));
}

TEST_F(SoftFrameDecoderTest, WeakSyncInsideAGoodFrameDoesNotRealignIt) {
  // A block whose first 40 bits come within 6 of the sync word, in the middle of a frame.
  const Bits decoy = Concat({SyncBits(0x8410410400ull), Bits(72, 0)});
  ASSERT_EQ(decoy.size(), 112u);
  const Bits bits = Concat({Preamble(), SyncBits(), BlockBits({1, 2, 3, 4, 5, 6}),
                            BlockBits({7, 8, 9, 10, 11, 12}), EndBits()});
  EXPECT_THAT(Feed(bits), ElementsAre(1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12));
  // The decoy itself is no block of the code, so a frame carrying it is dropped, not cut.
  EXPECT_THAT(Feed(Concat({Preamble(), SyncBits(), BlockBits({1, 2, 3, 4, 5, 6}), decoy,
                           BlockBits({7, 8, 9, 10, 11, 12}), EndBits()})),
              IsEmpty());
}

TEST_F(SoftFrameDecoderTest, NonFiniteSoftValuesAreHarmless) {
  std::vector<float> soft = Soft(Concat({Preamble(), SyncBits(), BlockBits({1, 2, 3, 4, 5, 6})}));
  soft[100] = std::numeric_limits<float>::quiet_NaN();
  soft[140] = std::numeric_limits<float>::infinity();
  const auto end = Soft(EndBits());
  soft.insert(soft.end(), end.begin(), end.end());
  EXPECT_THAT(Feed(soft), ElementsAre(1, 2, 3, 4, 5, 6));
}

TEST_F(SoftFrameDecoderTest, CorrectionsCountThisCallOnly) {
  const auto frame =
      Soft(Concat({Preamble(), SyncBits(), BlockBits({1, 2, 3, 4, 5, 6}), EndBits()}), {100, 120});
  EXPECT_THAT(Feed(frame), ElementsAre(1, 2, 3, 4, 5, 6));
  EXPECT_EQ(frames_.corrections(), 2);
  Feed(Soft(Preamble()));
  EXPECT_EQ(frames_.corrections(), 0);
}

}  // namespace
}  // namespace sieve
