#include "decoder/slicer_input.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <vector>

#include "decoder/decoder.h"
#include "decoder/replay_slicer_device.h"
#include "support/frame_bits.h"

namespace sieve {
namespace {

using sieve_test::Bits;
using sieve_test::BlockBits;
using sieve_test::Concat;
using sieve_test::EndBits;
using sieve_test::SyncBits;
using ::testing::ElementsAre;

// A replay device whose loading and linking can be made to fail, and that records its use.
class TestDevice : public ReplaySlicerDevice {
 public:
  explicit TestDevice(int32_t ring_length) : ReplaySlicerDevice(ring_length) {}
  bool Open() override { return opens_; }
  bool Control(int32_t code, const SlicerLinkRequest& request, SlicerLinkReply& reply) override {
    requests.push_back(request);
    return links_ && ReplaySlicerDevice::Control(code, request, reply);
  }
  void Close() override { ++closes; }

  bool opens_ = true;
  bool links_ = true;
  std::vector<SlicerLinkRequest> requests;
  int closes = 0;
};

// Stores bits as the slicer reports them: one period per run of equal bits, a one as a low line.
// Runs of one bit alternate between the shortest and the longest duration that still round to
// one bit; every period is followed by a glitch too short to count.
void StoreBits(ReplaySlicerDevice& device, const Bits& bits) {
  bool short_single = false;
  for (size_t i = 0; i < bits.size();) {
    size_t run = 1;
    while (i + run < bits.size() && bits[i + run] == bits[i]) ++run;
    uint16_t duration = uint16_t(run * 249);
    if (run == 1) duration = (short_single = !short_single) ? 125 : 249;
    if (run == 2) duration = 497;
    // A low line is reported on CTS or DSR; so is a high one.
    const uint8_t status = bits[i] ? (run % 2 ? 0x01 : 0x00) : (run % 2 ? 0x11 : 0x20);
    device.Store(duration, status);
    device.Store(124, bits[i] ? 0x11 : 0x01);
    i += run;
  }
}

class SlicerInputTest : public ::testing::Test {
 protected:
  int32_t Call(int32_t baud = 4800) {
    output_.assign(SIEVE_SLICER_OUTPUT_SIZE, 0);
    const int32_t n =
        decoder_.SlicerToBytes(output_.data(), baud, '1', '0', &corrections_, &pending_);
    output_.resize(size_t(n));
    return n;
  }
  std::string Error() const {
    char text[256];
    const int32_t length = decoder_.GetErrorMessage(text);
    EXPECT_EQ(size_t(length), std::strlen(text));
    return text;
  }

  TestDevice device_{1 << 19};
  Decoder decoder_{[this](std::string_view name) -> SlicerDevice* {
    return name == kSlicerDeviceName ? &device_ : nullptr;
  }};
  std::vector<uint8_t> output_;
  int32_t corrections_ = -1;
  int32_t pending_ = -1;
};

TEST(SlicerPortTableTest, MapsPortsToStandardResources) {
  const auto resources = [](int32_t port) {
    const SlicerPortResources r = SlicerPortTable(port);
    return std::pair(r.irq, r.base_address);
  };
  EXPECT_EQ(resources(1), std::pair(4, 0x3F8));
  EXPECT_EQ(resources(2), std::pair(3, 0x2F8));
  EXPECT_EQ(resources(3), std::pair(4, 0x3E8));
  EXPECT_EQ(resources(4), std::pair(3, 0x2E8));
  for (int32_t other : {0, 5, -1}) EXPECT_EQ(resources(other), std::pair(4, 0x3F8)) << other;
}

TEST_F(SlicerInputTest, LinksWithPortsResources) {
  EXPECT_EQ(Error(), "");
  EXPECT_EQ(decoder_.InstallSlicerDriver(2), 1);
  ASSERT_EQ(device_.requests.size(), 1u);
  EXPECT_EQ(device_.requests[0].irq, 3);
  EXPECT_EQ(device_.requests[0].base_address, 0x2F8);
  EXPECT_EQ(decoder_.UninstallSlicerDriver(), 0);
  EXPECT_EQ(device_.closes, 1);
  EXPECT_EQ(decoder_.UninstallSlicerDriver(), 0);
  EXPECT_EQ(device_.closes, 1);
}

TEST_F(SlicerInputTest, ReportsWhyTheDriverDidNotLoad) {
  device_.opens_ = false;
  EXPECT_EQ(decoder_.InstallSlicerDriver(1), 0);
  EXPECT_EQ(Error(), "Error loading slicer.vxd.");
  EXPECT_TRUE(device_.requests.empty());

  device_.opens_ = true;
  device_.links_ = false;
  EXPECT_EQ(decoder_.InstallSlicerDriver(1), 0);
  EXPECT_EQ(Error(), "Unknown error from VxD.");
  EXPECT_EQ(device_.closes, 1);
  EXPECT_FALSE(decoder_.slicer().linked());

  // The text stays until the next failure.
  device_.links_ = true;
  EXPECT_EQ(decoder_.InstallSlicerDriver(1), 1);
  EXPECT_EQ(Error(), "Unknown error from VxD.");

  Decoder without_device(nullptr);
  EXPECT_EQ(without_device.InstallSlicerDriver(1), 0);
  char text[256];
  without_device.GetErrorMessage(text);
  EXPECT_STREQ(text, "Error loading slicer.vxd.");
}

TEST_F(SlicerInputTest, EmptyOrUnlinkedRingGivesNothing) {
  EXPECT_EQ(Call(), 0);
  EXPECT_EQ(pending_, 0);
  ASSERT_EQ(decoder_.InstallSlicerDriver(1), 1);
  EXPECT_EQ(Call(), 0);
  EXPECT_EQ(pending_, 0);
  EXPECT_EQ(corrections_, 0);
}

TEST_F(SlicerInputTest, DecodesPeriodsRoundedToWholeBits) {
  ASSERT_EQ(decoder_.InstallSlicerDriver(1), 1);
  StoreBits(device_, Concat({SyncBits(), BlockBits({1, 2, 3, 4, 5, 6}), EndBits()}));
  const int32_t stored = device_.write_index();
  EXPECT_EQ(Call(), 6);
  EXPECT_THAT(output_, ElementsAre(1, 2, 3, 4, 5, 6));
  EXPECT_EQ(pending_, stored);
  EXPECT_EQ(decoder_.slicer().read_index(), stored);
}

TEST_F(SlicerInputTest, FirstBaudFixesBitLength) {
  ASSERT_EQ(decoder_.InstallSlicerDriver(1), 1);
  Call(4800);
  EXPECT_EQ(decoder_.slicer().nanoseconds_per_bit(), 208333.0);
  Call(9600);
  EXPECT_EQ(decoder_.slicer().nanoseconds_per_bit(), 208333.0);
}

TEST_F(SlicerInputTest, PendingGoesNegativeAfterWrap) {
  TestDevice small(8);
  Decoder decoder([&](std::string_view) -> SlicerDevice* { return &small; });
  ASSERT_EQ(decoder.InstallSlicerDriver(1), 1);
  uint8_t out[SIEVE_SLICER_OUTPUT_SIZE];
  int32_t corrections, pending;
  for (int i = 0; i < 6; ++i) small.Store(249, 0x11);
  decoder.SlicerToBytes(out, 4800, '1', '0', &corrections, &pending);
  EXPECT_EQ(pending, 6);
  for (int i = 0; i < 5; ++i) small.Store(249, 0x11);
  decoder.SlicerToBytes(out, 4800, '1', '0', &corrections, &pending);
  EXPECT_EQ(pending, 3 - 6);
  EXPECT_EQ(decoder.slicer().read_index(), 3);
}

TEST_F(SlicerInputTest, ReadIndexOutlivesTheLink) {
  ASSERT_EQ(decoder_.InstallSlicerDriver(1), 1);
  StoreBits(device_, Concat({SyncBits(), BlockBits({1, 2, 3, 4, 5, 6}), EndBits()}));
  Call();
  decoder_.UninstallSlicerDriver();
  ASSERT_EQ(decoder_.InstallSlicerDriver(1), 1);
  StoreBits(device_, Concat({SyncBits(), BlockBits({7, 8, 9, 10, 11, 12}), EndBits()}));
  EXPECT_EQ(Call(), 6);
  EXPECT_THAT(output_, ElementsAre(7, 8, 9, 10, 11, 12));
}

TEST_F(SlicerInputTest, NeverWritesPastTheCallersBuffer) {
  // Ten frames of 999 bytes waiting at once: more than one buffer holds.
  std::mt19937 random(7);
  Bits bits;
  std::vector<uint8_t> expected;
  for (int frame = 0; frame < 10; ++frame) {
    Bits frame_bits = SyncBits();
    for (int block = 0; block < 167; ++block) {
      std::array<uint8_t, 6> bytes;
      for (auto& b : bytes) b = uint8_t(random() | 1);
      const Bits block_bits = BlockBits(bytes);
      frame_bits.insert(frame_bits.end(), block_bits.begin(), block_bits.end());
      expected.insert(expected.end(), bytes.begin(), bytes.end());
    }
    expected.erase(expected.end() - 3, expected.end());  // the frame keeps 999 bytes
    bits = Concat({bits, frame_bits, EndBits()});
  }
  ASSERT_EQ(decoder_.InstallSlicerDriver(1), 1);
  StoreBits(device_, bits);

  std::vector<uint8_t> received;
  int calls = 0;
  while (Call() > 0) {
    ++calls;
    EXPECT_LE(output_.size(), size_t(SIEVE_SLICER_OUTPUT_SIZE));
    received.insert(received.end(), output_.begin(), output_.end());
  }
  EXPECT_EQ(calls, 2);
  EXPECT_EQ(received, expected);
}

}  // namespace
}  // namespace sieve
