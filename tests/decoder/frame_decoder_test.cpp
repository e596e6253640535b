#include "decoder/frame_decoder.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <vector>

#include "support/frame_bits.h"

namespace sieve {
namespace {

using sieve_test::Bits;
using sieve_test::BlockBits;
using sieve_test::Concat;
using sieve_test::EndBits;
using sieve_test::SyncBits;
using ::testing::ElementsAre;
using ::testing::ElementsAreArray;

constexpr std::array<uint8_t, 6> kA = {0x01, 0x02, 0x03, 0x04, 0x05, 0x06};
constexpr std::array<uint8_t, 6> kB = {0x11, 0x22, 0x33, 0x44, 0x55, 0x66};
constexpr std::array<uint8_t, 6> kZero = {};

// Runs bits through a decoder as one decoding call and keeps what the call delivers.
class FrameDecoderTest : public ::testing::Test {
 protected:
  std::vector<uint8_t> Call(const Bits& bits) {
    buffer_.assign(4096, 0xEE);
    frames_.BeginCall(buffer_.data());
    for (uint8_t bit : bits) frames_.ProcessBit(bit ? '1' : '0');
    return {buffer_.begin(), buffer_.begin() + frames_.output_count()};
  }

  FrameDecoder frames_;
  std::vector<uint8_t> buffer_;
};

TEST_F(FrameDecoderTest, DeliversOneBlockTrimmedOfItsPadding) {
  EXPECT_THAT(Call(Concat({SyncBits(), BlockBits(kA), EndBits()})), ElementsAre(1, 2, 3, 4, 5, 6));
  EXPECT_EQ(frames_.corrections(), 0);
  // The padding up to the 18-byte group was written as zeros, then trimmed.
  EXPECT_EQ(buffer_[17], 0);
  EXPECT_EQ(buffer_[18], 0xEE);
}

TEST_F(FrameDecoderTest, SyncToleratesFourDifferencesNotFive) {
  for (uint64_t flips : {0x0ull, 0x8000000001ull, 0x0F00000000ull, 0x0000010101ull << 8 | 1}) {
    EXPECT_THAT(Call(Concat({SyncBits(flips), BlockBits(kA), EndBits()})),
                ElementsAre(1, 2, 3, 4, 5, 6))
        << std::hex << flips;
  }
  EXPECT_TRUE(Call(Concat({SyncBits(0x1F), BlockBits(kA), EndBits()})).empty());
  EXPECT_TRUE(
      Call(Concat({SyncBits(0x8000010101ull << 0 | 0x100000), BlockBits(kA), EndBits()})).empty());
}

TEST_F(FrameDecoderTest, InvertedSyncEndsFrameWithinFourDifferences) {
  EXPECT_THAT(Call(Concat({SyncBits(), BlockBits(kA), EndBits(0x0F)})),
              ElementsAre(1, 2, 3, 4, 5, 6));
  // Five differences do not end it: the frame is still open.
  EXPECT_TRUE(Call(Concat({SyncBits(), BlockBits(kA), EndBits(0x1F)})).empty());
  EXPECT_TRUE(frames_.in_frame());
}

TEST_F(FrameDecoderTest, EmptyFrameAddsNothing) {
  EXPECT_TRUE(Call(Concat({SyncBits(), EndBits()})).empty());
  EXPECT_EQ(buffer_[0], 0xEE);
}

TEST_F(FrameDecoderTest, AllZeroFrameLeavesOneZeroOnlyWhenFirst) {
  EXPECT_THAT(Call(Concat({SyncBits(), BlockBits(kZero), EndBits()})), ElementsAre(0));
  EXPECT_THAT(
      Call(Concat({SyncBits(), BlockBits(kA), EndBits(), SyncBits(), BlockBits(kZero), EndBits()})),
      ElementsAre(1, 2, 3, 4, 5, 6));
}

TEST_F(FrameDecoderTest, SecondFrameFollowsFirstFramesTrimmedBytes) {
  EXPECT_THAT(
      Call(Concat({SyncBits(), BlockBits(kA), EndBits(), SyncBits(), BlockBits(kB), EndBits()})),
      ElementsAre(1, 2, 3, 4, 5, 6, 0x11, 0x22, 0x33, 0x44, 0x55, 0x66));
}

TEST_F(FrameDecoderTest, PadsToWholeGroupsWithZeros) {
  // A longer frame first leaves non-zero bytes in the store beyond the next frame's end.
  Call(Concat({SyncBits(), BlockBits(kB), BlockBits(kB), BlockBits(kB), BlockBits(kB),
               BlockBits(kB), BlockBits(kB), EndBits()}));
  const auto out = Call(
      Concat({SyncBits(), BlockBits(kA), BlockBits(kA), BlockBits(kA), BlockBits(kA), EndBits()}));
  EXPECT_EQ(out.size(), 24u);
  EXPECT_EQ(std::vector<uint8_t>(buffer_.begin() + 24, buffer_.begin() + 36),
            std::vector<uint8_t>(12, 0));
  EXPECT_EQ(buffer_[36], 0xEE);
}

TEST_F(FrameDecoderTest, PacksFirstSymbolAsLeastSignificantBit) {
  EXPECT_THAT(Call(Concat({SyncBits(), BlockBits({0x01, 0x80, 0, 0, 0, 0x01}), EndBits()})),
              ElementsAre(0x01, 0x80, 0, 0, 0, 0x01));
}

TEST_F(FrameDecoderTest, KeepsFirst999BytesOfLongFrame) {
  Bits bits = SyncBits();
  for (int i = 0; i < 170; ++i) {
    const Bits block = BlockBits({uint8_t(i), 1, 2, 3, 4, uint8_t(0x80 | i)});
    bits.insert(bits.end(), block.begin(), block.end());
  }
  const Bits end = EndBits();
  bits.insert(bits.end(), end.begin(), end.end());
  const auto out = Call(bits);
  ASSERT_EQ(out.size(), 999u);
  EXPECT_THAT(std::vector<uint8_t>(out.end() - 3, out.end()), ElementsAre(166, 1, 2));
  EXPECT_EQ(buffer_[1007], 0);
  EXPECT_EQ(buffer_[1008], 0xEE);
}

TEST_F(FrameDecoderTest, CorrectsSingleDataBitError) {
  for (int bit : {0, 7, 23, 47}) {
    EXPECT_THAT(Call(Concat({SyncBits(), BlockBits(kA, 0, bit), EndBits()})), ElementsAreArray(kA))
        << bit;
    EXPECT_EQ(frames_.corrections(), 1) << bit;
  }
}

TEST_F(FrameDecoderTest, BlocksWithTwelveOrMoreFailedChecksGiveNoBytes) {
  EXPECT_THAT(Call(Concat({SyncBits(), BlockBits(kA, 11), BlockBits(kB, 12), BlockBits(kB, 20),
                           BlockBits(kB, 20), BlockBits(kB), EndBits()})),
              ::testing::SizeIs(12));
}

TEST_F(FrameDecoderTest, OneBadBlockKeepsFrameTwoInARowEndIt) {
  EXPECT_THAT(
      Call(Concat({SyncBits(), BlockBits(kA), BlockBits(kB, 21), BlockBits(kB), EndBits()})),
      ElementsAre(1, 2, 3, 4, 5, 6, 0x11, 0x22, 0x33, 0x44, 0x55, 0x66));
  EXPECT_THAT(Call(Concat({SyncBits(), BlockBits(kA), BlockBits(kB, 21), BlockBits(kB, 21)})),
              ElementsAre(1, 2, 3, 4, 5, 6));
  EXPECT_FALSE(frames_.in_frame());
}

TEST_F(FrameDecoderTest, EndingFrameClearsBadBlockCount) {
  // The first transmission ends on a bad block; the next one's first bad block must not end it.
  EXPECT_THAT(Call(Concat({SyncBits(), BlockBits(kA), BlockBits(kB, 21), EndBits(), SyncBits(),
                           BlockBits(kB, 21), BlockBits(kB), EndBits()})),
              ElementsAre(1, 2, 3, 4, 5, 6, 0x11, 0x22, 0x33, 0x44, 0x55, 0x66));
}

TEST_F(FrameDecoderTest, SyncInsideFrameRealignsAndKeepsBytes) {
  const Bits noise = {1, 0, 1, 1, 0, 0, 1, 0, 1, 1, 1, 0, 1};
  const auto out =
      Call(Concat({SyncBits(), BlockBits(kA), noise, SyncBits(), BlockBits(kB), EndBits()}));
  EXPECT_THAT(out, ElementsAre(1, 2, 3, 4, 5, 6, 0x11, 0x22, 0x33, 0x44, 0x55, 0x66));
}

TEST_F(FrameDecoderTest, FrameEndingInLaterCallIsDeliveredThere) {
  const Bits block = BlockBits(kA);
  EXPECT_TRUE(Call(Concat({SyncBits(), Bits(block.begin(), block.begin() + 50)})).empty());
  EXPECT_TRUE(Call(Bits(block.begin() + 50, block.end())).empty());
  EXPECT_THAT(Call(EndBits()), ElementsAre(1, 2, 3, 4, 5, 6));
}

}  // namespace
}  // namespace sieve
