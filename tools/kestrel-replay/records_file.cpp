#include "records_file.h"

#include <fstream>

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

}  // namespace

bool ReadRecordsFile(const std::string& path, std::vector<std::string>& records,
                     std::string& error) {
  std::ifstream file(path, std::ios::binary);
  if (!file) {
    error = path + ": cannot be read";
    return false;
  }
  std::string line;
  for (int number = 1; std::getline(file, line); ++number) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    const auto where = [&] { return path + ": line " + std::to_string(number) + ": "; };
    if (line.find_first_not_of(" \t") == std::string::npos) continue;
    if (line.size() > kMaxLineLength) {
      error = where() + "longer than any decoded record";
      return false;
    }
    std::string record;
    int high = -1;
    for (char c : line) {
      if (c == ' ' || c == '\t') continue;
      const int digit = HexDigit(c);
      if (digit < 0) {
        error = where() + "'" + std::string(1, c) + "' is not a hexadecimal digit";
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
