#include "app/acquisition/audio_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace kestrel {

void ToUnsignedMono(std::span<const int> interleaved, int channels, std::span<uint8_t> out) {
  const int64_t divisor = int64_t(channels) << 24;
  for (size_t i = 0; i < out.size(); ++i) {
    int64_t sum = 0;
    for (int c = 0; c < channels; ++c) sum += interleaved[i * size_t(channels) + size_t(c)];
    int64_t top = sum / divisor;
    if (sum % divisor != 0 && sum < 0) --top;  // round down like >> does
    out[i] = uint8_t(top + 128);
  }
}

AudioFile::~AudioFile() { Close(); }

void AudioFile::Close() {
  if (file_ != nullptr) sf_close(file_);
  if (fd_ >= 0) ::close(fd_);
  file_ = nullptr;
  fd_ = -1;
  info_ = {};
}

bool AudioFile::Open(const std::string& path, std::string& error) {
  Close();
  path_ = path;
  if (!OpenChecked(path, error)) {
    Close();
    return false;
  }
  return true;
}

bool AudioFile::OpenChecked(const std::string& path, std::string& error) {
  // Opened here rather than by the library so that a missing file is reported as such.
  fd_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd_ < 0) {
    error = path + ": " + std::strerror(errno);
    return false;
  }
  file_ = sf_open_fd(fd_, SFM_READ, &info_, SF_FALSE);
  if (file_ == nullptr) {
    error = path + ": not a readable WAV file (" + sf_strerror(nullptr) + ")";
    return false;
  }
  const int container = info_.format & SF_FORMAT_TYPEMASK;
  if (container != SF_FORMAT_WAV && container != SF_FORMAT_WAVEX) {
    error = path + ": not a WAV file";
    return false;
  }
  switch (info_.format & SF_FORMAT_SUBMASK) {
    case SF_FORMAT_PCM_S8:
    case SF_FORMAT_PCM_U8:
    case SF_FORMAT_PCM_16:
    case SF_FORMAT_PCM_24:
    case SF_FORMAT_PCM_32:
      break;
    case SF_FORMAT_FLOAT:
    case SF_FORMAT_DOUBLE:
      error = path + ": floating-point samples are not supported (integer PCM only)";
      return false;
    default:
      error = path + ": not PCM audio";
      return false;
  }
  if (info_.samplerate != 44100 && info_.samplerate != 22050) {
    error = path + ": sampling rate " + std::to_string(info_.samplerate) +
            " Hz not supported (44100 or 22050 Hz)";
    return false;
  }
  return true;
}

int64_t AudioFile::Read(std::span<uint8_t> out, std::string& error) {
  if (file_ == nullptr) {
    error = path_ + ": not open";
    return -1;
  }
  const size_t channels = size_t(info_.channels);
  const size_t frames_per_chunk = std::max<size_t>(1, kChunkSamples / channels);
  chunk_.resize(frames_per_chunk * channels);
  size_t done = 0;
  while (done < out.size()) {
    const size_t want = std::min(frames_per_chunk, out.size() - done);
    const sf_count_t got = sf_readf_int(file_, chunk_.data(), sf_count_t(want));
    if (got <= 0) break;
    ToUnsignedMono(std::span(chunk_).first(size_t(got) * channels), int(channels),
                   out.subspan(done, size_t(got)));
    done += size_t(got);
  }
  if (sf_error(file_) != SF_ERR_NO_ERROR) {
    error = path_ + ": cannot read: " + sf_strerror(file_);
    return -1;
  }
  return int64_t(done);
}

}  // namespace kestrel
