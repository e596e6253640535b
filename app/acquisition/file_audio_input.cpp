#include "app/acquisition/file_audio_input.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <system_error>
#include <utility>

#include "app/acquisition/audio_file.h"

namespace kestrel {
namespace {

constexpr uint8_t kSilence = 128;
// How often a lossless delivery looks for a queued buffer; the poll does not signal requeues.
constexpr std::chrono::milliseconds kQueuedPollInterval{2};

// The time `samples` samples take at `rate`, split so that days of audio cannot overflow.
std::chrono::nanoseconds Duration(uint64_t samples, int rate) {
  const uint64_t r = uint64_t(rate);
  return std::chrono::seconds(samples / r) +
         std::chrono::nanoseconds((samples % r) * 1'000'000'000 / r);
}

}  // namespace

FileAudioInput::FileAudioInput(std::string path, Pace pace) : path_(std::move(path)), pace_(pace) {}

FileAudioInput::~FileAudioInput() { Close(); }

AudioOpenResult FileAudioInput::Open(int /*sampling_rate*/, AudioBuffers& buffers) {
  Close();
  auto file = std::make_unique<AudioFile>();
  std::string error;
  if (!file->Open(path_, error)) return {AudioOpenError::kOther, error};
  file_ = std::move(file);
  rate_.store(file_->rate(), std::memory_order_relaxed);
  finished_.store(false, std::memory_order_release);
  {
    std::lock_guard lock(mutex_);
    stop_ = false;
    error_.clear();
  }
  start_ = std::chrono::steady_clock::now();
  try {
    thread_ = std::thread([this, &buffers] { Deliver(buffers); });
  } catch (const std::system_error& e) {
    file_.reset();
    return {AudioOpenError::kOther, std::string("cannot start the playing thread: ") + e.what()};
  }
  return {};
}

bool FileAudioInput::Close() {
  if (thread_.joinable()) {
    {
      std::lock_guard lock(mutex_);
      stop_ = true;
    }
    wake_.notify_all();
    thread_.join();
  }
  file_.reset();
  return true;
}

std::string FileAudioInput::Error() const {
  std::lock_guard lock(mutex_);
  return error_;
}

bool FileAudioInput::WaitUntil(std::chrono::steady_clock::time_point deadline) {
  std::unique_lock lock(mutex_);
  return !wake_.wait_until(lock, deadline, [this] { return stop_; });
}

bool FileAudioInput::WaitForQueuedBuffer(const AudioBuffers& buffers) {
  // A completed count below ten means at least one buffer is queued: the poll queues a buffer
  // again before it takes it off the count.
  std::unique_lock lock(mutex_);
  while (!stop_ && buffers.Completed() >= AudioBuffers::kCount) {
    wake_.wait_for(lock, kQueuedPollInterval);
  }
  return !stop_;
}

void FileAudioInput::Deliver(AudioBuffers& buffers) {
  const int rate = Rate();
  std::array<uint8_t, AudioBuffers::kSize> block;
  for (uint64_t k = 0;; ++k) {
    std::string error;
    const int64_t n = file_->Read(block, error);
    if (n < 0) {
      std::lock_guard lock(mutex_);
      error_ = error;
      break;
    }
    if (n == 0) break;
    std::fill(block.begin() + n, block.end(), kSilence);
    const bool go = pace_ == Pace::kRealTime
                        ? WaitUntil(start_ + Duration((k + 1) * AudioBuffers::kSize, rate))
                        : WaitForQueuedBuffer(buffers);
    if (!go) return;
    buffers.Write(block);
    // The reader fills a block as far as the file goes, so a short one is the last.
    if (size_t(n) < block.size()) break;
  }
  finished_.store(true, std::memory_order_release);
}

}  // namespace kestrel
