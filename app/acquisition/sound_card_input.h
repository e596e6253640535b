#pragma once

#include <functional>
#include <memory>
#include <string>

#include "app/acquisition/audio_input.h"

namespace kestrel {

// The sound card chosen by the AudioInputDevice setting as it is when monitoring starts, so a
// profile loaded or changed later takes effect at the next start.
class SoundCardInput : public AudioInput {
 public:
  SoundCardInput();
  ~SoundCardInput() override;
  // Where the device id is read at each open; "" (the default) is the system's default input.
  void SetDeviceId(std::function<std::string()> device_id) { device_id_ = std::move(device_id); }

  AudioOpenResult Open(int sampling_rate, AudioBuffers& buffers) override;
  bool Close() override;
  int Rate() const override;
  std::string Note() const override;

 private:
  std::function<std::string()> device_id_;
  std::unique_ptr<AudioInput> device_;
};

}  // namespace kestrel
