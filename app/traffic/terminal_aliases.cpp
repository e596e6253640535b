#include "app/traffic/terminal_aliases.h"

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <limits>
#include <optional>
#include <string>
#include <vector>

#include "app/profile/ini_file.h"

namespace kestrel {
namespace {

constexpr std::string_view kSection = "TerminalAliases";
constexpr std::string_view kCountKey = "Aliases";
constexpr std::string_view kTerminalKey = "Terminal";
constexpr std::string_view kAliasKey = "Alias";

int Percent(int64_t done, int64_t total) { return int(done * 100 / total); }

}  // namespace

void TerminalAliases::Assign(const std::string& terminal, const std::string& alias) {
  auto found = index_.find(terminal);
  if (found != index_.end()) {
    pairs_[found->second].alias = alias;
    return;
  }
  index_.emplace(terminal, pairs_.size());
  pairs_.push_back({terminal, alias});
}

std::string TerminalAliases::Alias(std::string_view terminal) const {
  auto found = index_.find(terminal);
  return found == index_.end() ? std::string() : pairs_[found->second].alias;
}

bool TerminalAliases::GetAliasEntry(int index, std::string& terminal, std::string& alias) const {
  if (index < 1 || index > Count()) return false;
  terminal = pairs_[size_t(index - 1)].terminal;
  alias = pairs_[size_t(index - 1)].alias;
  return true;
}

void TerminalAliases::Clear() {
  pairs_.clear();
  index_.clear();
}

void TerminalAliases::Remove(std::string_view terminal) {
  auto found = index_.find(terminal);
  if (found == index_.end()) return;
  size_t position = found->second;
  index_.erase(found);
  pairs_.erase(pairs_.begin() + ptrdiff_t(position));
  for (size_t i = position; i < pairs_.size(); ++i) index_[pairs_[i].terminal] = i;
}

bool WriteAliasesSection(IniFile& file, const TerminalAliases& aliases, const Progress& progress) {
  const int count = aliases.Count();
  if (!file.Write(kSection, kCountKey, std::to_string(count))) return false;
  std::string terminal;
  std::string alias;
  for (int i = 1; i <= count; ++i) {
    if (progress) progress(Percent(i, count));
    aliases.GetAliasEntry(i, terminal, alias);
    const std::string number = std::to_string(i);
    if (!file.Write(kSection, std::string(kTerminalKey) + number, terminal) ||
        !file.Write(kSection, std::string(kAliasKey) + number, alias)) {
      return false;
    }
  }
  return true;
}

bool ReadAliasesSection(const IniFile& file, TerminalAliases& aliases, EmptyAliases empty_aliases,
                        const AliasAssigned& assigned, const Progress& progress) {
  std::optional<int64_t> count = ParseIniCount(file.Read(kSection, kCountKey));
  if (!count) return false;

  // Visiting only the numbers that have a terminal key does what a walk over 1..count does,
  // without letting a huge count in a small file spin for minutes.
  std::vector<int64_t> numbers;
  for (const std::string& key : file.Keys(kSection)) {
    int64_t number = IniKeyNumber(key, kTerminalKey);
    if (number >= 1 && number <= *count) numbers.push_back(number);
  }
  std::sort(numbers.begin(), numbers.end());
  int reported = 0;
  for (int64_t number : numbers) {
    reported = Percent(number, *count);
    if (progress) progress(reported);
    const std::string suffix = std::to_string(number);
    std::string terminal = file.Read(kSection, std::string(kTerminalKey) + suffix);
    if (terminal.empty()) continue;
    std::string alias = file.Read(kSection, std::string(kAliasKey) + suffix);
    if (alias.empty() && empty_aliases == EmptyAliases::kSkip) continue;
    aliases.Assign(terminal, alias);
    if (assigned) assigned(terminal, alias);
  }
  if (progress && *count > 0 && reported < 100) progress(100);
  return true;
}

bool ExportAliases(const TerminalAliases& aliases, const std::string& path,
                   const Progress& progress) {
  // A fresh document: the file is replaced as a whole, so no pairs of an older file survive.
  IniFile ini;
  return WriteAliasesSection(ini, aliases, progress) && ini.Save(path);
}

AliasImport ImportAliases(TerminalAliases& aliases, const std::string& path,
                          const AliasAssigned& assigned, const Progress& progress) {
  IniFile ini;
  switch (ini.Load(path)) {
    case IniLoad::kLoaded:
      break;
    case IniLoad::kNotFound:
      return AliasImport::kNotFound;
    case IniLoad::kTooLarge:
    case IniLoad::kUnreadable:
      return AliasImport::kInvalid;
  }
  if (!ReadAliasesSection(ini, aliases, EmptyAliases::kAssign, assigned, progress)) {
    return AliasImport::kInvalid;
  }
  aliases.SetChanged(true);
  return AliasImport::kImported;
}

}  // namespace kestrel
