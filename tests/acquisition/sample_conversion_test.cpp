#include <gtest/gtest.h>

#include <cstdint>
#include <span>
#include <vector>

#include "app/acquisition/audio_file.h"
#include "app/acquisition/qt_audio_input.h"

namespace kestrel {
namespace {

struct Conversion {
  int16_t in;
  uint8_t out;
};

// The top byte offset by 128; the low byte never rounds up.
constexpr Conversion kConversions[] = {
    {-32768, 0}, {-32767, 0}, {-257, 126}, {-256, 127},  {-1, 127},    {0, 128},
    {1, 128},    {255, 128},  {256, 129},  {32512, 255}, {32767, 255},
};

TEST(Int16ToUnsigned8Test, TakesTheTopByteOffsetBy128) {
  std::vector<int16_t> in;
  std::vector<uint8_t> expected;
  for (const Conversion& c : kConversions) {
    in.push_back(c.in);
    expected.push_back(c.out);
  }
  std::vector<uint8_t> out(in.size() + 1, 0xAA);
  Int16ToUnsigned8(in, out);
  EXPECT_EQ(std::vector<uint8_t>(out.begin(), out.end() - 1), expected);
  EXPECT_EQ(out.back(), 0xAA) << "wrote past the samples";
}

TEST(Int16ToUnsigned8Test, AgreesWithTheFileReadersMonoConversion) {
  // A 16-bit file sample reaches the reader as s << 16; both paths must give the same byte.
  for (int s = -32768; s <= 32767; ++s) {
    const int16_t in[] = {int16_t(s)};
    const int full_scale[] = {s * 65536};
    uint8_t card = 0;
    uint8_t file = 0;
    Int16ToUnsigned8(in, {&card, 1});
    ToUnsignedMono(full_scale, 1, {&file, 1});
    ASSERT_EQ(card, file) << "sample " << s;
  }
}

TEST(ToUnsignedMonoTest, AveragesChannelsRoundingDown) {
  // Stereo frames as full-scale ints: (L + R) / 2, top byte, + 128; negative halves round down.
  const int frames[5][2] = {
      {0, 0},
      {256 << 16, 0},
      {-1 << 16, 0},
      {32767 << 16, 32767 << 16},
      {-32768 << 16, -32768 << 16},
  };
  uint8_t out[5] = {};
  ToUnsignedMono(std::span(&frames[0][0], 10), 2, out);
  EXPECT_EQ(out[0], 128);
  EXPECT_EQ(out[1], 128);  // the average, 128 << 16, has a top byte of 0
  EXPECT_EQ(out[2], 127);  // a small negative average rounds down to -1
  EXPECT_EQ(out[3], 255);
  EXPECT_EQ(out[4], 0);
}

}  // namespace
}  // namespace kestrel
