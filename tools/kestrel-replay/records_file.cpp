#include "records_file.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>

#include "readers.h"

namespace kestrel_replay {
namespace {

// Records come from one decoding call each, so a line is never longer than the decoder's output.
constexpr size_t kMaxLineLength = 2 * 8192;

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// A byte as an error shows it: printable ones quoted, others as 0xHH, so that none reaches the
// terminal raw (an escape sequence) or cuts the message short (NUL).
std::string Describe(char c) {
  if (c > ' ' && c < 0x7F) return std::string("'") + c + "'";
  char hex[16];
  std::snprintf(hex, sizeof hex, "byte 0x%02X", static_cast<unsigned char>(c));
  return hex;
}

// Reads one line without its LF, at most kMaxLineLength + 1 bytes of it, so a file without line
// ends cannot grow memory. False at the end of the file.
bool ReadLine(std::istream& in, std::string& line) {
  line.clear();
  std::streambuf& buffer = *in.rdbuf();
  for (;;) {
    const int c = buffer.sbumpc();
    if (c == std::char_traits<char>::eof()) return !line.empty();
    if (c == '\n') return true;
    if (line.size() <= kMaxLineLength) line += char(c);
  }
}

}  // namespace

bool ReadRecordsFile(const std::string& path, std::vector<std::string>& records,
                     std::string& error) {
  if (error = sieve_decode::CheckInputPath(path); !error.empty()) return false;
  std::ifstream file(path, std::ios::binary);
  if (!file) {
    error = path + ": " + std::strerror(errno);
    return false;
  }
  std::string line;
  for (int number = 1; ReadLine(file, line); ++number) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    const auto where = [&] { return path + ": line " + std::to_string(number) + ": "; };
    const size_t first = line.find_first_not_of(" \t");
    // Comment lines, as mdcgen's frame files allow them.
    if (first == std::string::npos || line[first] == '#') continue;
    if (line.size() > kMaxLineLength) {
      error = where() + "longer than any decoded record";
      return false;
    }
    std::string record;
    int high = -1;
    for (size_t i = 0; i < line.size(); ++i) {
      const char c = line[i];
      if (c == ' ' || c == '\t') continue;
      const int digit = HexDigit(c);
      if (digit < 0) {
        error = where() + Describe(c) + " at column " + std::to_string(i + 1) +
                " is not a hexadecimal digit";
        return false;
      }
      if (high < 0) {
        high = digit;
      } else {
        record += char(high << 4 | digit);
        high = -1;
      }
    }
    if (high >= 0) {
      error = where() + "an odd number of hexadecimal digits";
      return false;
    }
    records.push_back(std::move(record));
  }
  if (file.bad()) {
    error = path + ": cannot be read";
    return false;
  }
  return true;
}

}  // namespace kestrel_replay
