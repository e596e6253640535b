#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "app/acquisition/audio_input.h"

namespace kestrel {

class AudioFile;

// Plays a WAV recording into the capture buffers as if it came from the sound card: 8192-sample
// blocks, the last one padded with silence (128) so that it completes. The file is streamed from
// a thread of its own with bounded memory; Open and Close belong to one thread (the window's).
class FileAudioInput : public AudioInput {
 public:
  enum class Pace {
    // Block k (from 0) is written (k + 1) * 8192 / rate seconds after Open, as a sound card
    // completes a buffer only once it is full; samples that find all ten buffers waiting are
    // dropped, as the card's would be.
    kRealTime,
    // As fast as the buffers are taken: waits while all ten wait instead of dropping. For tests
    // and benchmarks; it relies on the poll queuing buffers again before it subtracts them from
    // the completed count.
    kLossless,
  };

  explicit FileAudioInput(std::string path, Pace pace = Pace::kRealTime);
  ~FileAudioInput() override;
  FileAudioInput(const FileAudioInput&) = delete;
  FileAudioInput& operator=(const FileAudioInput&) = delete;

  // Opens the file and starts delivery into `buffers`, which must be as after
  // AudioBuffers::Reset and outlive the delivery (until Close). `sampling_rate` is ignored: the
  // samples come at the file's own rate. A file that cannot be read answers kOther with the
  // reader's text, which names the file. Opening again starts the file again from its start.
  AudioOpenResult Open(int sampling_rate, AudioBuffers& buffers) override;
  // Stops delivery promptly and waits for the thread; always true. Safe when not open.
  bool Close() override;
  // The file's rate; 0 before the first successful Open.
  int Rate() const override { return rate_.load(std::memory_order_relaxed); }
  // The last block (if any) has been written, or a read error ended delivery. Any thread.
  bool Finished() const override { return finished_.load(std::memory_order_acquire); }
  // The read error that ended delivery before the file's end, naming the file; "" when none.
  // Any thread.
  std::string Error() const override;

 private:
  void Deliver(AudioBuffers& buffers);
  // Waits until `deadline` or Close; false on Close.
  bool WaitUntil(std::chrono::steady_clock::time_point deadline);
  // Waits until a buffer is queued, or Close; false on Close.
  bool WaitForQueuedBuffer(const AudioBuffers& buffers);

  const std::string path_;
  const Pace pace_;
  std::unique_ptr<AudioFile> file_;
  std::thread thread_;
  std::chrono::steady_clock::time_point start_;
  std::atomic<int> rate_{0};
  std::atomic<bool> finished_{false};

  mutable std::mutex mutex_;
  std::condition_variable wake_;
  bool stop_ = false;  // guarded by mutex_
  std::string error_;  // guarded by mutex_
};

}  // namespace kestrel
