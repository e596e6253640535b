#include <dlfcn.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "sieve/sieve.h"
#include "support/sampled_bits.h"

namespace {

using ::testing::ElementsAre;

TEST(ExportsTest, LibraryExportsExactlyTheEightOperations) {
  void* library = dlopen(SIEVE_LIBRARY_PATH, RTLD_NOW | RTLD_LOCAL);
  ASSERT_NE(library, nullptr) << dlerror();
  for (const char* name :
       {"AudioToBytes", "RM100BytesToBytes", "SlicerToBytes", "SignalInformation", "ReInit",
        "GetErrorMessage", "InstallSlicerDriver", "UninstallSlicerDriver"}) {
    EXPECT_NE(dlsym(library, name), nullptr) << name;
  }
  // The C++ behind them stays private.
  EXPECT_EQ(dlsym(library, "_ZN5sieve14ProcessDecoderEv"), nullptr);
  dlclose(library);
}

TEST(ExportsTest, ShareOneDecoderAcrossCalls) {
  char text[256] = "x";
  EXPECT_EQ(GetErrorMessage(text), 0);
  EXPECT_STREQ(text, "");

  using namespace sieve_test;
  const Bits bits =
      Concat({Preamble(), SyncBits(), BlockBits({1, 2, 3, 4, 5, 6}), EndBits(), Preamble(16)});
  auto samples = Samples(bits, 44100.0 / 4800, 88, -88);
  const int32_t half = int32_t(samples.size() / 2);
  uint8_t output[8192];
  int32_t corrections = -1, quality = -1;
  EXPECT_EQ(
      AudioToBytes(samples.data(), half, output, 44100, 4800, '1', '0', &corrections, &quality, 0),
      0);
  EXPECT_EQ(ReInit(), 0);
  EXPECT_EQ(AudioToBytes(samples.data() + half, int32_t(samples.size()) - half, output, 44100, 4800,
                         '1', '0', &corrections, &quality, 1),
            6);
  EXPECT_THAT(std::vector<uint8_t>(output, output + 6), ElementsAre(1, 2, 3, 4, 5, 6));
  EXPECT_EQ(corrections, 0);

  std::vector<uint8_t> a(8192), b(8192), c(8192), d(8192), marks(8192);
  int32_t threshold = 0;
  EXPECT_EQ(
      SignalInformation(8192, a.data(), b.data(), c.data(), d.data(), marks.data(), &threshold),
      int32_t(samples.size()) - half);
  EXPECT_EQ(SlicerToBytes(output, 4800, '1', '0', &corrections, &quality), 0);
  EXPECT_EQ(UninstallSlicerDriver(), 0);
}

}  // namespace
