#include "app/platform/paths.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <system_error>

namespace kestrel {
namespace {

constexpr std::string_view kSeparators = "\\/";

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

// Start of the last path component.
size_t NameStart(std::string_view path) {
  size_t separator = path.find_last_of(kSeparators);
  return separator == path.npos ? 0 : separator + 1;
}

// Position of the last "." of the last component; npos when it has none.
size_t ExtensionDot(std::string_view path) {
  size_t dot = path.rfind('.');
  return dot == path.npos || dot < NameStart(path) ? path.npos : dot;
}

bool IsAbsoluteDirectory(const char* text) { return text != nullptr && text[0] == '/'; }

}  // namespace

std::string ConfigDirectoryFrom(const char* xdg_config_home, const char* home) {
  if (IsAbsoluteDirectory(xdg_config_home)) return JoinPath(xdg_config_home, kProgramName);
  if (IsAbsoluteDirectory(home)) return JoinPath(JoinPath(home, ".config"), kProgramName);
  return std::string();
}

std::string ConfigDirectory() {
  const char* home = std::getenv("HOME");
  if (!IsAbsoluteDirectory(home)) {
    // Services started without a login shell may have no HOME; the account still has one.
    const passwd* entry = ::getpwuid(::getuid());
    if (entry != nullptr) home = entry->pw_dir;
  }
  return ConfigDirectoryFrom(std::getenv("XDG_CONFIG_HOME"), home);
}

bool MakeDirectories(const std::string& directory) {
  if (directory.empty()) return false;
  namespace fs = std::filesystem;
  std::error_code error;
  fs::path path(directory);
  // Create one level at a time so each new level gets the private mode.
  fs::path partial;
  for (const fs::path& part : path) {
    partial /= part;
    if (fs::is_directory(partial, error)) continue;
    if (::mkdir(partial.c_str(), 0700) != 0 && !fs::is_directory(partial, error)) return false;
  }
  return fs::is_directory(path, error);
}

bool FileExists(const std::string& path) {
  struct stat status;
  return !path.empty() && ::stat(path.c_str(), &status) == 0 && S_ISREG(status.st_mode);
}

std::string JoinPath(std::string_view directory, std::string_view name) {
  std::string joined(directory);
  if (!joined.empty() && !IsSeparator(joined.back())) joined += '/';
  joined += name;
  return joined;
}

std::string GetFileTitle(std::string_view path) {
  std::string_view name = path.substr(NameStart(path));
  return std::string(name.substr(0, name.find('.')));
}

std::string RemoveExtension(std::string_view path) {
  return std::string(path.substr(0, ExtensionDot(path)));
}

std::string GetExtension(std::string_view path) {
  size_t dot = ExtensionDot(path);
  return dot == path.npos ? std::string() : std::string(path.substr(dot + 1));
}

}  // namespace kestrel
