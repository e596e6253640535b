#pragma once

#include <string>
#include <string_view>

namespace kestrel {

// Where the user's files live and how profile file names are taken apart. Both "\" (names
// written by earlier releases) and "/" count as directory separators.

inline constexpr std::string_view kProgramName = "Kestrel";
inline constexpr std::string_view kDefaultProfileName = "Kestrel.ini";

// The user's configuration directory, which holds the default profile and is where file dialogs
// start: $XDG_CONFIG_HOME/Kestrel, else $HOME/.config/Kestrel. Arguments that are null, empty or
// not absolute are ignored, as the XDG rules ask; "" when neither gives a directory.
std::string ConfigDirectoryFrom(const char* xdg_config_home, const char* home);
// The same from this process's environment (and the password database when HOME is unset).
std::string ConfigDirectory();
// Creates the directory and its missing parents (mode 0700, as the XDG rules ask for new ones).
// True when it exists afterwards.
bool MakeDirectories(const std::string& directory);
// True when `path` names something whose length can be read: a regular file.
bool FileExists(const std::string& path);

// `directory` + separator + `name`, without doubling a separator at the end of `directory`;
// `name` alone when `directory` is empty.
std::string JoinPath(std::string_view directory, std::string_view name);

// The part after the last separator up to (not including) its first "."; all of it without ".".
std::string GetFileTitle(std::string_view path);
// The path before the last "." that comes after the last separator; the whole path without one.
std::string RemoveExtension(std::string_view path);
// The text after that "."; "" when there is none.
std::string GetExtension(std::string_view path);

}  // namespace kestrel
