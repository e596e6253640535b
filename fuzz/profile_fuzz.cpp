// Arbitrary bytes as a profile: its main file, aliases file and rules file are loaded, saved and
// loaded again, and the second load must find exactly what the first one did. The same bytes go
// through start-up path resolution and the file-name helpers.
#include <stdlib.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "app/platform/paths.h"
#include "app/profile/profile.h"
#include "support/program_stores.h"

namespace {

using namespace kestrel;

using Stores = kestrel_test::ProgramStores;

// One directory for the whole run, removed at exit; set TMPDIR to a memory file system for speed.
// Never destroyed, so the exit handler can still read it.
const std::string& Directory() {
  static const std::string* directory = [] {
    std::string pattern = (std::filesystem::temp_directory_path() / "profile_fuzz.XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) __builtin_trap();
    return new std::string(pattern);
  }();
  static const bool cleanup = std::atexit([] {
                                std::error_code error;
                                std::filesystem::remove_all(*directory, error);
                              }) == 0;
  (void)cleanup;
  return *directory;
}

void Put(const std::string& path, const std::string* content) {
  std::error_code error;
  std::filesystem::remove(path, error);
  if (content != nullptr) std::ofstream(path, std::ios::binary) << *content;
}

// What a load produced, without the marks that say where it came from.
bool SameContent(Stores& a, Stores& b) {
  Settings left = a.settings;
  Settings right = b.settings;
  left.CurrentProfile = right.CurrentProfile;
  left.RewriteProfileOnSave = right.RewriteProfileOnSave;
  left.SettingsChanged = right.SettingsChanged;
  if (!(left == right) || a.aliases.Count() != b.aliases.Count() ||
      a.rules.Count() != b.rules.Count()) {
    return false;
  }
  std::string terminal_a, alias_a, terminal_b, alias_b;
  for (int i = 1; i <= a.aliases.Count(); ++i) {
    a.aliases.GetAliasEntry(i, terminal_a, alias_a);
    b.aliases.GetAliasEntry(i, terminal_b, alias_b);
    if (terminal_a != terminal_b || alias_a != alias_b) return false;
  }
  for (int i = 1; i <= a.rules.Count(); ++i) {
    if (!(*a.rules.At(i) == *b.rules.At(i))) return false;
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string input(reinterpret_cast<const char*>(data), size);
  GetFileTitle(input);
  RemoveExtension(input);
  GetExtension(input);
  ResolveStartupProfile(input, "/config", [](const std::string&) { return false; });
  if (size < 1) return 0;

  // The first byte chooses how to save; the rest is the files, separated by 0xFF 0xFE.
  const uint8_t flags = data[0];
  std::vector<std::string> parts;
  size_t start = 1;
  while (parts.size() < 3 && start <= size) {
    size_t end = input.find("\xFF\xFE", start);
    if (end == std::string::npos) end = size;
    parts.push_back(input.substr(start, end - start));
    start = end + 2;
  }
  const std::string path = Directory() + "/Kestrel.ini";
  Put(path, &parts[0]);
  Put(AliasesFilePath(path), parts.size() > 1 ? &parts[1] : nullptr);
  Put(RulesFilePath(path), parts.size() > 2 ? &parts[2] : nullptr);

  Stores first;
  if (flags & 1) first.settings.CurrentProfile = "/earlier.ini";
  std::string caption;
  if (!LoadProfile(path, first.get(), &caption)) return 0;
  if (parts[0].empty()) return 0;  // an empty profile reads nothing

  SaveOptions options;
  options.minimised = flags & 2;
  if (flags & 4) first.aliases.SetChanged(true);
  if (flags & 8) first.rules.SetChanged(true);
  if (!SaveProfile(path, true, first.get(), options, &caption)) __builtin_trap();
  if (first.aliases.Changed() || first.rules.Changed() || first.settings.RewriteProfileOnSave) {
    __builtin_trap();
  }
  Stores second;
  if (!LoadProfile(path, second.get())) __builtin_trap();
  if (!SameContent(first, second)) __builtin_trap();
  if (second.settings.RewriteProfileOnSave || !second.boxes.shown.empty()) __builtin_trap();
  return 0;
}
