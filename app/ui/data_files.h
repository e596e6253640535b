#pragma once

#include <string>

namespace kestrel {

// The path of a read-only data file (help pages, pictures, icons): from the installed data
// directory beside the program, else from the source tree the program was built from.
std::string DataFilePath(const std::string& name);

}  // namespace kestrel
