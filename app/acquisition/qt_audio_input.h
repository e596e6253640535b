#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "app/acquisition/audio_input.h"

class QThread;

namespace kestrel {

// 16-bit signed samples to 8-bit unsigned ones, exactly as the card would have given them:
// (s >> 8) + 128. `out` holds at least `in.size()` samples.
void Int16ToUnsigned8(std::span<const int16_t> in, std::span<uint8_t> out);

// The sound card through Qt Multimedia: a QAudioSource in push mode on a capture thread of its
// own, so samples keep arriving while the window thread is busy. Open and Close belong to one
// thread (the window's); a QCoreApplication must exist.
//
// Not detected: a device busy elsewhere (Qt does not tell it apart), so kInUse is never answered.
// Right after Open the sound system may deliver nothing for about a second; that is normal.
class QtAudioInput : public AudioInput {
 public:
  enum class SampleWidth {
    kAuto,   // 8-bit when the device takes it, else 16-bit converted
    k16Bit,  // always 16-bit converted, to exercise that path
  };

  // `device_id` is a QAudioDevice::id() (the AudioInputDevice setting); "" for the default.
  explicit QtAudioInput(std::string device_id, SampleWidth width = SampleWidth::kAuto);
  ~QtAudioInput() override;
  QtAudioInput(const QtAudioInput&) = delete;
  QtAudioInput& operator=(const QtAudioInput&) = delete;

  // Records mono at `sampling_rate` into `buffers`, which must outlive the recording (until
  // Close). A device id that is not listed falls back to the default input, and Note says so.
  // kNoDriver: no input device at all (no sound server); kFormatNotSupported: neither 8-bit nor
  // 16-bit mono at the rate; kOther: the start failed, with Qt's error in words.
  AudioOpenResult Open(int sampling_rate, AudioBuffers& buffers) override;
  // Stops the recording on its thread and joins that thread; always true. Safe when not open.
  bool Close() override;
  int Rate() const override { return rate_; }
  // Which input stands in for a missing one, and an error that stopped the recording; "" for
  // neither. Any thread.
  std::string Note() const override;

  // (id, description) of every input the sound system lists, in its order.
  static std::vector<std::pair<std::string, std::string>> Devices();

 private:
  class Capture;

  void SetStreamError(const std::string& error);

  const std::string device_id_;
  const SampleWidth width_;
  int rate_ = 0;
  std::unique_ptr<QThread> thread_;
  std::unique_ptr<Capture> capture_;

  mutable std::mutex mutex_;
  std::string note_;          // guarded by mutex_
  std::string stream_error_;  // guarded by mutex_
};

}  // namespace kestrel
