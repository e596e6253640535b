#include "app/acquisition/sound_card_input.h"

#include "app/acquisition/qt_audio_input.h"

namespace kestrel {

SoundCardInput::SoundCardInput() = default;
SoundCardInput::~SoundCardInput() = default;

AudioOpenResult SoundCardInput::Open(int sampling_rate, AudioBuffers& buffers) {
  if (device_) device_->Close();
  device_ = std::make_unique<QtAudioInput>(device_id_ ? device_id_() : std::string());
  return device_->Open(sampling_rate, buffers);
}

bool SoundCardInput::Close() { return device_ ? device_->Close() : true; }

int SoundCardInput::Rate() const { return device_ ? device_->Rate() : 0; }

std::string SoundCardInput::Note() const { return device_ ? device_->Note() : std::string(); }

}  // namespace kestrel
