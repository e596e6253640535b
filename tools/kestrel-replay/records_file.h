#pragma once

#include <string>
#include <vector>

namespace kestrel_replay {

// Reads decoded records written one per line in hexadecimal (either case; blank lines skipped).
// False with `error` naming the file and line when the file cannot be read or a line is not hex.
bool ReadRecordsFile(const std::string& path, std::vector<std::string>& records,
                     std::string& error);

}  // namespace kestrel_replay
