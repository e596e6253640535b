#pragma once

#include <string>
#include <vector>

namespace kestrel_replay {

// Reads decoded records written one per line in hexadecimal (either case, blanks allowed between
// digits; blank lines and lines starting with "#" skipped). False with `error` naming the file,
// and for a bad line its number, column and the byte (as 0xHH when not printable), when the file
// cannot be read or a line is not hex.
bool ReadRecordsFile(const std::string& path, std::vector<std::string>& records,
                     std::string& error);

}  // namespace kestrel_replay
