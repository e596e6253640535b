#pragma once

#include <string>

#include "app/acquisition/audio_buffers.h"

namespace kestrel {

// Why a sound input could not be opened, in the four cases the program words for the user.
enum class AudioOpenError {
  kNone,
  kInUse,               // the device is already allocated
  kNoDriver,            // no sound system or no input device
  kFormatNotSupported,  // 8-bit (or 16-bit) mono at the rate is refused
  kOther,               // anything else; `detail` holds the sound system's own text
};

struct AudioOpenResult {
  AudioOpenError error = AudioOpenError::kNone;
  std::string detail;
  bool ok() const { return error == AudioOpenError::kNone; }
};

// A source of 8-bit unsigned mono samples: the sound card, or a recording standing in for it.
// Open starts delivering into the buffers from another thread; Close stops that before it
// returns, so the buffers are the caller's again. Open and Close are called on the window thread.
class AudioInput {
 public:
  virtual ~AudioInput() = default;
  virtual AudioOpenResult Open(int sampling_rate, AudioBuffers& buffers) = 0;
  // False when the device refused to close (it may still be delivering).
  virtual bool Close() = 0;
  // The rate the samples arrive at: the rate opened, or a recording's own.
  virtual int Rate() const = 0;
  // Shown after "Monitoring" while open, e.g. which device stands in for a missing one; "" for
  // nothing to add.
  virtual std::string Note() const { return {}; }
  // A recording has delivered its last sample (a device never finishes).
  virtual bool Finished() const { return false; }
  // Why a recording finished before its end (a read error); "" when it did not.
  virtual std::string Error() const { return {}; }
};

}  // namespace kestrel
