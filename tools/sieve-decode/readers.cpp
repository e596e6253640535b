#include "readers.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace sieve_decode {
namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r'; }

// Reads a run of decimal digits at `pos`; values beyond any accepted range are clamped, which
// keeps them out of range without overflow.
bool ReadNumber(std::string_view line, size_t& pos, uint32_t& value) {
  const size_t start = pos;
  value = 0;
  while (pos < line.size() && line[pos] >= '0' && line[pos] <= '9') {
    value = std::min<uint32_t>(value * 10 + uint32_t(line[pos] - '0'), 1000000);
    ++pos;
  }
  return pos > start;
}

uint32_t LittleEndian(const uint8_t* bytes, int count) {
  uint32_t value = 0;
  for (int i = count - 1; i >= 0; --i) value = value << 8 | bytes[i];
  return value;
}

}  // namespace

std::string CheckInputPath(const std::string& path) {
  struct stat status;
  // A missing file is left to the open, whose text names the reason.
  if (::stat(path.c_str(), &status) == 0 && S_ISDIR(status.st_mode)) {
    return path + ": is a directory";
  }
  return "";
}

std::optional<int> WavHeaderBits(const std::string& path) {
  ByteFile file;
  std::string error;
  std::array<uint8_t, 65536> header{};
  if (!file.Open(path, error)) return std::nullopt;
  const int64_t count = file.Read(header, error);
  if (count < 12 || std::memcmp(header.data(), "RIFF", 4) != 0 ||
      std::memcmp(header.data() + 8, "WAVE", 4) != 0) {
    return std::nullopt;
  }
  // Chunks: a four-byte tag, a four-byte size, the data padded to an even length.
  for (size_t at = 12; at + 8 <= size_t(count);) {
    const uint32_t size = LittleEndian(header.data() + at + 4, 4);
    if (std::memcmp(header.data() + at, "fmt ", 4) == 0) {
      if (size < 16 || at + 8 + 16 > size_t(count)) return std::nullopt;
      return int(LittleEndian(header.data() + at + 8 + 14, 2));
    }
    at += 8 + size_t(size) + (size & 1);
  }
  return std::nullopt;
}

ByteFile::~ByteFile() {
  if (fd_ >= 0) ::close(fd_);
}

bool ByteFile::Open(const std::string& path, std::string& error) {
  path_ = path;
  fd_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd_ < 0) error = path + ": " + std::strerror(errno);
  return fd_ >= 0;
}

int64_t ByteFile::Read(std::span<uint8_t> out, std::string& error) {
  size_t done = 0;
  while (done < out.size()) {
    const ssize_t n = ::read(fd_, out.data() + done, out.size() - done);
    if (n == 0) break;
    if (n < 0) {
      if (errno == EINTR) continue;
      error = path_ + ": cannot read: " + std::strerror(errno);
      return -1;
    }
    done += size_t(n);
  }
  return int64_t(done);
}

SlicerLine ParseSlicerLine(std::string_view line, SlicerEntry& entry, std::string& reason) {
  size_t pos = 0;
  auto skip_blanks = [&] {
    const size_t start = pos;
    while (pos < line.size() && IsBlank(line[pos])) ++pos;
    return pos > start;
  };
  skip_blanks();
  if (pos == line.size()) return SlicerLine::kBlank;
  uint32_t duration = 0;
  uint32_t status = 0;
  if (!ReadNumber(line, pos, duration) || !skip_blanks() || !ReadNumber(line, pos, status) ||
      (skip_blanks(), pos != line.size())) {
    reason = "expected \"duration status\" as two decimal numbers";
    return SlicerLine::kBad;
  }
  if (duration > 65535) {
    reason = "duration out of range (0 to 65535)";
    return SlicerLine::kBad;
  }
  if (status > 255) {
    reason = "status out of range (0 to 255)";
    return SlicerLine::kBad;
  }
  entry = {uint16_t(duration), uint8_t(status)};
  return SlicerLine::kEntry;
}

bool SlicerFile::Open(const std::string& path, std::string& error) {
  path_ = path;
  return file_.Open(path, error);
}

SlicerFile::Next SlicerFile::Read(SlicerEntry& entry, std::string& error) {
  for (;;) {
    line_.clear();
    bool line_ended = false;
    while (!line_ended) {
      if (position_ == filled_) {
        if (at_end_) break;
        const int64_t n = file_.Read(buffer_, error);
        if (n < 0) return Next::kError;
        at_end_ = n == 0;
        position_ = 0;
        filled_ = size_t(n);
        continue;
      }
      const char c = char(buffer_[position_++]);
      if (c == '\n') {
        line_ended = true;
      } else if (line_.size() == kMaxLineLength) {
        error = path_ + ":" + std::to_string(line_number_ + 1) + ": line too long";
        return Next::kError;
      } else {
        line_ += c;
      }
    }
    if (!line_ended && line_.empty()) return Next::kEnd;
    ++line_number_;
    std::string reason;
    switch (ParseSlicerLine(line_, entry, reason)) {
      case SlicerLine::kEntry:
        return Next::kEntry;
      case SlicerLine::kBlank:
        continue;
      case SlicerLine::kBad:
        error = path_ + ":" + std::to_string(line_number_) + ": " + reason;
        return Next::kError;
    }
  }
}

}  // namespace sieve_decode
