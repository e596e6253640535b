#pragma once

#include <sndfile.h>

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace kestrel {

// Mixes interleaved frames of full-scale 32-bit samples down to 8-bit unsigned mono: the
// channels' average, its top 8 bits, offset by 128 (for 16-bit input: (s >> 8) + 128).
void ToUnsignedMono(std::span<const int> interleaved, int channels, std::span<uint8_t> out);

// A PCM WAV file read as 8-bit unsigned mono samples at 44100 or 22050 per second. Reading
// streams: memory stays bounded (about 256 KiB) whatever the file's length. One thread at a time.
class AudioFile {
 public:
  AudioFile() = default;
  ~AudioFile();
  AudioFile(const AudioFile&) = delete;
  AudioFile& operator=(const AudioFile&) = delete;

  // Refuses what is not a PCM WAV file at one of the two rates, with a text that names the file
  // and says why; the object is then not open. A second Open closes the first file.
  bool Open(const std::string& path, std::string& error);
  // Samples per second; valid after a successful Open.
  int rate() const { return info_.samplerate; }
  // Fills `out` as far as the file goes: the sample count, 0 at the end, -1 on a read error or
  // when no file is open.
  int64_t Read(std::span<uint8_t> out, std::string& error);

 private:
  static constexpr size_t kChunkSamples = 65536;

  bool OpenChecked(const std::string& path, std::string& error);
  void Close();

  int fd_ = -1;
  SNDFILE* file_ = nullptr;
  SF_INFO info_{};
  std::string path_;
  std::vector<int> chunk_;
};

}  // namespace kestrel
