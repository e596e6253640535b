#pragma once

#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <string_view>

namespace kestrel_test {

// A fresh directory under the system's temporary directory for one test, removed with
// everything in it (permissions restored first) when the test ends.
class ScratchDirectory {
 public:
  explicit ScratchDirectory(std::string_view name = "kestrel_test") {
    std::string pattern =
        (std::filesystem::temp_directory_path() / (std::string(name) + ".XXXXXX")).string();
    if (::mkdtemp(pattern.data()) != nullptr) path_ = pattern;
  }
  ~ScratchDirectory() {
    if (path_.empty()) return;
    std::error_code ignored;
    for (auto it = std::filesystem::recursive_directory_iterator(path_, ignored);
         it != std::filesystem::recursive_directory_iterator(); it.increment(ignored)) {
      std::filesystem::permissions(it->path(), std::filesystem::perms::owner_all,
                                   std::filesystem::perm_options::add, ignored);
    }
    std::filesystem::permissions(path_, std::filesystem::perms::owner_all,
                                 std::filesystem::perm_options::add, ignored);
    std::filesystem::remove_all(path_, ignored);
  }
  ScratchDirectory(const ScratchDirectory&) = delete;
  ScratchDirectory& operator=(const ScratchDirectory&) = delete;

  // Empty when the directory could not be made.
  const std::filesystem::path& path() const { return path_; }
  std::string Path(std::string_view name) const { return (path_ / name).string(); }
  // Writes the file (bytes as they are) and answers its path.
  std::string Write(std::string_view name, std::string_view content) const {
    const std::string file = Path(name);
    std::ofstream(file, std::ios::binary) << content;
    return file;
  }
  std::string Read(std::string_view name) const {
    std::ifstream in(Path(name), std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
  }

 private:
  std::filesystem::path path_;
};

}  // namespace kestrel_test
