#pragma once

#include <string>

#include "app/profile/ini_file.h"
#include "app/rules/rules_class.h"

namespace kestrel {

// The "Rules" section, as the rules exchange file and the profile's rules file hold it.

// Writes "Rules" = Count and every rule's 36 keys in export order into `file`, which should not
// already hold a "Rules" section with more rules. False when some value cannot be stored (a
// text holding a line break); every other key is still written, so the caller decides whether
// to keep the document.
bool WriteRulesSection(IniFile& file, const RulesClass& rules);

// What reading does with a rule whose name the set already has (names compare without case).
enum class RuleNameClash {
  kRename,  // add it as name + " (duplicate)", or " (duplicate k)" for the smallest free k >= 2
  kSkip,    // leave it out: the rule already held stays as it is
};

// Appends the rules of `file` to the set in file order, normalising empty colours to -1,
// LogMessageTo 0 to 2 and the verb "with the" to "with"; the last one added becomes current.
// A missing or non-numeric "Rules" count adds nothing. Answers the number of rules added.
int ReadRulesSection(const IniFile& file, RulesClass& rules,
                     RuleNameClash clash = RuleNameClash::kRename);

// Export Rules: the file replaced as a whole; false (file untouched, Changed kept) when it cannot
// be written. Clears Changed on success.
bool ExportRules(RulesClass& rules, const std::string& path);
enum class RulesImport {
  kImported,
  kNotFound,  // no such file
  kInvalid,   // unreadable, too large, or its "Rules" count missing or not a number
};
// Import Rules: appends the file's rules (clashing names renamed) and sets Changed; on kNotFound
// and kInvalid nothing changes.
RulesImport ImportRules(RulesClass& rules, const std::string& path);

}  // namespace kestrel
