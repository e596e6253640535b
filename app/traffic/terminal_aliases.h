#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace kestrel {

// The user's names for terminal addresses, in the order first assigned. Addresses compare exactly.
class TerminalAliases {
 public:
  // Sets the terminal's alias, adding a pair when it has none.
  void Assign(const std::string& terminal, const std::string& alias);
  // "" when the terminal has no alias.
  std::string Alias(std::string_view terminal) const;
  int Count() const { return int(pairs_.size()); }
  // The pair at 1-based `index`; false (outputs untouched) beyond Count.
  bool GetAliasEntry(int index, std::string& terminal, std::string& alias) const;
  void Clear();
  void Remove(std::string_view terminal);
  // The aliases differ from what the profile holds.
  bool Changed() const { return changed_; }
  void SetChanged(bool changed) { changed_ = changed; }

 private:
  struct Pair {
    std::string terminal;
    std::string alias;
  };
  // Finds a terminal by a string_view without building a string: Alias runs for every record.
  struct Hash {
    using is_transparent = void;
    size_t operator()(std::string_view text) const { return std::hash<std::string_view>()(text); }
  };

  std::vector<Pair> pairs_;
  // terminal -> its position in pairs_
  std::unordered_map<std::string, size_t, Hash, std::equal_to<>> index_;
  bool changed_ = false;
};

// Progress of a long file operation, in percent.
using Progress = std::function<void(int percent)>;
using AliasAssigned = std::function<void(const std::string& terminal, const std::string& alias)>;

class IniFile;

// Section "TerminalAliases" ("Aliases" = count, then "Terminal"i and "Alias"i), as the alias
// exchange file and the profile's aliases file hold it.

// Writes the count and the pairs into `file`, keeping everything else there, pairs numbered
// beyond the count included. False when a pair cannot be a line of the file (the section may
// then be half written).
bool WriteAliasesSection(IniFile& file, const TerminalAliases& aliases,
                         const Progress& progress = {});

enum class EmptyAliases { kAssign, kSkip };
// Assigns the pairs numbered 1..count that have a terminal (and, with kSkip, an alias), calling
// `assigned` for each. Changed is left alone. False, assigning nothing, when "Aliases" is missing
// or not a whole number.
bool ReadAliasesSection(const IniFile& file, TerminalAliases& aliases, EmptyAliases empty_aliases,
                        const AliasAssigned& assigned = {}, const Progress& progress = {});

// Writes the aliases to an alias exchange file (section "TerminalAliases": "Aliases" = count,
// then "Terminal"i and "Alias"i), replacing the file as a whole. False when it cannot be written.
bool ExportAliases(const TerminalAliases& aliases, const std::string& path,
                   const Progress& progress = {});

enum class AliasImport { kImported, kNotFound, kInvalid };
// Reads an alias exchange file and assigns every pair with a terminal, calling `assigned` for
// each; sets Changed. kNotFound when the file does not exist, kInvalid when its "Aliases" value
// is missing or not a number (nothing is imported then).
AliasImport ImportAliases(TerminalAliases& aliases, const std::string& path,
                          const AliasAssigned& assigned = {}, const Progress& progress = {});

}  // namespace kestrel
