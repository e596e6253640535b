#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace sieve_decode {

// "" when `path` may be opened as an input file, else why not, naming it ("x: is a directory").
std::string CheckInputPath(const std::string& path);

// The bits per sample that a WAV file's header declares, read from its "fmt " chunk; none when
// the file has no such chunk in its first 64 KiB.
std::optional<int> WavHeaderBits(const std::string& path);

// A file read in blocks. Errors name the file.
class ByteFile {
 public:
  ByteFile() = default;
  ~ByteFile();
  ByteFile(const ByteFile&) = delete;
  ByteFile& operator=(const ByteFile&) = delete;

  bool Open(const std::string& path, std::string& error);
  // Fills `out` as far as the file goes: the byte count, 0 at the end, -1 on a read error.
  int64_t Read(std::span<uint8_t> out, std::string& error);

 private:
  int fd_ = -1;
  std::string path_;
};

struct SlicerEntry {
  uint16_t duration = 0;  // 838 ns ticks
  uint8_t status = 0;     // 8250 modem status
};

// Parses a "duration status" line (two decimal numbers). Blank lines give kBlank.
enum class SlicerLine { kEntry, kBlank, kBad };
SlicerLine ParseSlicerLine(std::string_view line, SlicerEntry& entry, std::string& reason);

// A slicer edge list, one "duration status" line per period. Lines are bounded in length, so a
// file without line ends cannot grow memory.
class SlicerFile {
 public:
  static constexpr size_t kMaxLineLength = 256;
  enum class Next { kEntry, kEnd, kError };

  bool Open(const std::string& path, std::string& error);
  // The next entry; kError with a text naming the file and line.
  Next Read(SlicerEntry& entry, std::string& error);

 private:
  ByteFile file_;
  std::string path_;
  std::array<uint8_t, 4096> buffer_{};
  size_t position_ = 0;
  size_t filled_ = 0;
  bool at_end_ = false;
  int64_t line_number_ = 0;
  std::string line_;
};

}  // namespace sieve_decode
