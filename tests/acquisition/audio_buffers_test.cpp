#include "app/acquisition/audio_buffers.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <memory>
#include <thread>
#include <vector>

namespace kestrel {
namespace {

constexpr size_t kSize = AudioBuffers::kSize;
constexpr int kCount = AudioBuffers::kCount;

// Samples whose value tells where they belong: a buffer out of place or shifted shows.
std::vector<uint8_t> Numbered(size_t count, size_t first = 0) {
  std::vector<uint8_t> samples(count);
  for (size_t i = 0; i < count; ++i) {
    const size_t n = first + i;
    samples[i] = uint8_t(n * 131 + (n >> 8) * 7 + (n >> 13));
  }
  return samples;
}

std::vector<uint8_t> Contents(const AudioBuffers& buffers, int number) {
  return {buffers.Data(number), buffers.Data(number) + kSize};
}

// As the poll does: the completed buffers from `next` on, each queued again, then subtracted.
std::vector<uint8_t> TakeCompleted(AudioBuffers& buffers, int& next) {
  std::vector<uint8_t> taken;
  const int n = buffers.Completed();
  for (int i = 0; i < n; ++i) {
    const uint8_t* data = buffers.Data(next);
    taken.insert(taken.end(), data, data + kSize);
    buffers.Requeue();
    next = next % kCount + 1;
  }
  buffers.SubtractCompleted(n);
  return taken;
}

class AudioBuffersTest : public ::testing::Test {
 protected:
  // The buffers are 80 KiB; keep them off the stack.
  std::unique_ptr<AudioBuffers> owned_ = std::make_unique<AudioBuffers>();
  AudioBuffers& buffers_ = *owned_;
};

TEST_F(AudioBuffersTest, FreshBuffersHaveNothingCompletedOrDropped) {
  EXPECT_EQ(buffers_.Completed(), 0);
  EXPECT_EQ(buffers_.Dropped(), 0u);
}

TEST_F(AudioBuffersTest, ExactlyOneBufferOfSamplesCompletesBufferOne) {
  const std::vector<uint8_t> samples = Numbered(kSize);
  buffers_.Write(std::span(samples).first(kSize - 1));
  EXPECT_EQ(buffers_.Completed(), 0) << "one sample short of a buffer";
  buffers_.Write(std::span(samples).last(1));
  EXPECT_EQ(buffers_.Completed(), 1);
  EXPECT_EQ(Contents(buffers_, 1), samples);
}

TEST_F(AudioBuffersTest, OneSamplePastABufferStartsTheNext) {
  const std::vector<uint8_t> samples = Numbered(kSize + 1);
  buffers_.Write(samples);
  EXPECT_EQ(buffers_.Completed(), 1);
  EXPECT_EQ(buffers_.Data(2)[0], samples[kSize]);
  buffers_.Write(Numbered(kSize - 1, kSize + 1));
  EXPECT_EQ(buffers_.Completed(), 2);
  EXPECT_EQ(Contents(buffers_, 2), Numbered(kSize, kSize));
}

TEST_F(AudioBuffersTest, PartialWritesAcrossBufferBoundariesKeepEverySampleInOrder) {
  const std::vector<uint8_t> samples = Numbered(3 * kSize);
  const size_t pieces[] = {1, 4095, 4097, 8191, 2, 8000, 190};  // 3 * 8192 in all
  size_t at = 0;
  for (const size_t piece : pieces) {
    buffers_.Write(std::span(samples).subspan(at, piece));
    at += piece;
  }
  ASSERT_EQ(at, samples.size());
  ASSERT_EQ(buffers_.Completed(), 3);
  for (int number = 1; number <= 3; ++number) {
    EXPECT_EQ(Contents(buffers_, number), Numbered(kSize, size_t(number - 1) * kSize))
        << "buffer " << number;
  }
}

TEST_F(AudioBuffersTest, BuffersCompleteInNumberOrderAndWrapAfterTen) {
  int next = 1;
  std::vector<uint8_t> received;
  // Three buffers at a time, so the poll's position wraps in the middle of a batch.
  for (size_t batch = 0; batch < 5; ++batch) {
    buffers_.Write(Numbered(3 * kSize, batch * 3 * kSize));
    ASSERT_EQ(buffers_.Completed(), 3);
    const std::vector<uint8_t> taken = TakeCompleted(buffers_, next);
    received.insert(received.end(), taken.begin(), taken.end());
  }
  EXPECT_EQ(next, 6) << "15 buffers: 1..10 then 1..5";
  EXPECT_EQ(received, Numbered(15 * kSize));
  EXPECT_EQ(buffers_.Completed(), 0);
  EXPECT_EQ(buffers_.Dropped(), 0u);
}

TEST_F(AudioBuffersTest, BufferElevenGoesIntoBufferOneAfterItIsRequeued) {
  buffers_.Write(Numbered(10 * kSize));
  for (int i = 0; i < kCount; ++i) buffers_.Requeue();
  buffers_.SubtractCompleted(kCount);
  buffers_.Write(Numbered(kSize, 10 * kSize));
  EXPECT_EQ(buffers_.Completed(), 1);
  EXPECT_EQ(Contents(buffers_, 1), Numbered(kSize, 10 * kSize));
}

TEST_F(AudioBuffersTest, SamplesAreDroppedAndCountedWhileAllTenWait) {
  buffers_.Write(Numbered(10 * kSize));
  ASSERT_EQ(buffers_.Completed(), kCount);
  EXPECT_EQ(buffers_.Dropped(), 0u) << "exactly ten buffers fit";

  buffers_.Write(Numbered(1, 10 * kSize));
  EXPECT_EQ(buffers_.Dropped(), 1u) << "one sample past the tenth";
  buffers_.Write(Numbered(5000, 10 * kSize + 1));
  EXPECT_EQ(buffers_.Dropped(), 5001u);
  EXPECT_EQ(buffers_.Completed(), kCount);
  EXPECT_EQ(Contents(buffers_, 1), Numbered(kSize)) << "a waiting buffer is never overwritten";
}

TEST_F(AudioBuffersTest, WritingResumesInTheRequeuedBufferWithoutTheDroppedSamples) {
  buffers_.Write(Numbered(10 * kSize));
  buffers_.Write(Numbered(100, 777));  // dropped
  // The poll takes buffer 1 only.
  buffers_.Requeue();
  buffers_.SubtractCompleted(1);
  buffers_.Write(Numbered(kSize + 10, 20 * kSize));
  EXPECT_EQ(buffers_.Dropped(), 100u + 10u) << "buffer 1 took 8192, the rest found none";
  EXPECT_EQ(buffers_.Completed(), kCount);
  EXPECT_EQ(Contents(buffers_, 1), Numbered(kSize, 20 * kSize));
  EXPECT_EQ(Contents(buffers_, 2), Numbered(kSize, kSize)) << "buffer 2 still waits untouched";
}

TEST_F(AudioBuffersTest, CompletionsDuringAPollStayCounted) {
  buffers_.Write(Numbered(3 * kSize));
  const int n = buffers_.Completed();
  for (int i = 0; i < n; ++i) buffers_.Requeue();
  buffers_.Write(Numbered(2 * kSize, 3 * kSize));  // arrives while the poll works
  buffers_.SubtractCompleted(n);
  EXPECT_EQ(buffers_.Completed(), 2);
  EXPECT_EQ(Contents(buffers_, 4), Numbered(kSize, 3 * kSize));
  EXPECT_EQ(Contents(buffers_, 5), Numbered(kSize, 4 * kSize));
}

TEST_F(AudioBuffersTest, ResetQueuesAllTenAndStartsAtBufferOne) {
  buffers_.Write(Numbered(10 * kSize + 5));
  ASSERT_GT(buffers_.Dropped(), 0u);
  buffers_.Reset();
  EXPECT_EQ(buffers_.Completed(), 0);
  EXPECT_EQ(buffers_.Dropped(), 0u);
  buffers_.Write(Numbered(10 * kSize, 50 * kSize));
  EXPECT_EQ(buffers_.Completed(), kCount);
  EXPECT_EQ(buffers_.Dropped(), 0u);
  EXPECT_EQ(Contents(buffers_, 1), Numbered(kSize, 50 * kSize));
}

// A device thread against a polling consumer. The producer writes each buffer in uneven pieces,
// starting a buffer only while fewer than ten wait (the lossless use), so nothing may be lost.
TEST_F(AudioBuffersTest, ProducerThreadAgainstConsumerLosesAndReordersNothing) {
  constexpr size_t kBlocks = 2000;
  const std::vector<uint8_t> samples = Numbered(kBlocks * kSize);
  std::atomic<bool> produced{false};
  std::thread producer([&] {
    const size_t pieces[] = {1, 999, 3000, 4191, 1};
    for (size_t block = 0; block < kBlocks; ++block) {
      while (buffers_.Completed() >= kCount) std::this_thread::yield();
      size_t at = block * kSize;
      for (const size_t piece : pieces) {
        buffers_.Write(std::span(samples).subspan(at, piece));
        at += piece;
      }
    }
    produced = true;
  });
  std::vector<uint8_t> received;
  received.reserve(samples.size());
  int next = 1;
  // Ends early, rather than hanging, when samples went missing.
  while (received.size() < samples.size() && !(produced && buffers_.Completed() == 0)) {
    const std::vector<uint8_t> taken = TakeCompleted(buffers_, next);
    received.insert(received.end(), taken.begin(), taken.end());
    if (taken.empty()) std::this_thread::yield();
  }
  producer.join();
  EXPECT_EQ(buffers_.Dropped(), 0u);
  EXPECT_EQ(buffers_.Completed(), 0);
  EXPECT_TRUE(received == samples)
      << "first difference at sample "
      << std::mismatch(received.begin(), received.end(), samples.begin(), samples.end()).first -
             received.begin();
}

}  // namespace
}  // namespace kestrel
