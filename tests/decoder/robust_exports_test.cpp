#include <dlfcn.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "mdcgen/random_frames.h"
#include "mdcgen/signal.h"
#include "sieve/sieve.h"

namespace {

TEST(RobustExportsTest, LibraryExportsTheRobustCalls) {
  void* library = dlopen(SIEVE_LIBRARY_PATH, RTLD_NOW | RTLD_LOCAL);
  ASSERT_NE(library, nullptr) << dlerror();
  for (const char* name : {"RobustAudioToBytes", "RobustRM100BytesToBytes"}) {
    EXPECT_NE(dlsym(library, name), nullptr) << name;
  }
  dlclose(library);
}

TEST(RobustExportsTest, DecodeThroughTheExports) {
  const auto frames = mdcgen::RandomFrames(1, 31);
  const auto timeline = mdcgen::ComposeTimeline({{mdcgen::Transmission{frames[0], 0.02}}}, 0.05);
  const auto pcm = mdcgen::RenderPcm(timeline, mdcgen::SignalOptions{}, 22050);
  std::vector<int8_t> samples(pcm.begin(), pcm.end());
  std::vector<uint8_t> output(samples.size() / 6 + SIEVE_MAX_FRAME_OUTPUT);
  int32_t corrections = -1, quality = -1;
  EXPECT_EQ(ReInit(), 0);
  const int32_t n = RobustAudioToBytes(samples.data(), int32_t(samples.size()), output.data(),
                                       22050, 4800, '1', '0', &corrections, &quality, 0);
  ASSERT_EQ(size_t(n), frames[0].size());
  EXPECT_TRUE(std::equal(frames[0].begin(), frames[0].end(), output.begin()));
  EXPECT_EQ(corrections, 0);
  // The samples are left as they came.
  EXPECT_TRUE(std::equal(samples.begin(), samples.end(), pcm.begin(),
                         [](int8_t a, uint8_t b) { return uint8_t(a) == b; }));

  const auto rm100 = mdcgen::RenderRm100(timeline, mdcgen::SignalOptions{});
  std::vector<uint8_t> rm100_output(8 * rm100.size() / 6 + SIEVE_MAX_FRAME_OUTPUT);
  EXPECT_EQ(size_t(RobustRM100BytesToBytes(rm100.data(), int32_t(rm100.size()), rm100_output.data(),
                                           19200, 4800, '1', '0', &corrections, &quality, 0)),
            frames[0].size());
}

}  // namespace
