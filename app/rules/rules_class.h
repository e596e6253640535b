#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "app/profile/report_error.h"
#include "app/rules/rule.h"

namespace kestrel {

// The ordered rule set. Positions are 1-based; the current rule (Index) is what the callers read
// and write after Add, Find, Copy or a successful Match.
class RulesClass {
 public:
  // Count is a 16-bit quantity in the profile and the dialogs.
  static constexpr int kMaxRules = 32767;

  explicit RulesClass(ErrorReporter& errors);
  ~RulesClass();
  RulesClass(const RulesClass&) = delete;
  RulesClass& operator=(const RulesClass&) = delete;

  // False (nothing changes) when a rule of that name exists, or when the set holds kMaxRules;
  // names compare without case.
  bool Add(const std::string& name);
  // As Add, for a rule whose every field is already set; the new rule becomes current.
  bool Append(Rule rule);
  void Delete(std::string_view name);
  bool Find(std::string_view name);
  // Whether some rule has that name (without case); Index is left alone.
  bool Contains(std::string_view name) const;
  int Count() const { return int(rules_.size()); }
  void Clear();
  int Index() const { return index_; }
  void SetIndex(int index) { index_ = index; }
  // The current rule; nullptr when Index is not a position.
  Rule* Current();
  const Rule* Current() const;
  // The rule at a position 1..Count; nullptr beyond.
  Rule* At(int position);
  const Rule* At(int position) const;
  // False when either position is not a rule.
  bool Swap(int i, int j);
  // False when `source` is not a rule, `new_name` is taken or the set is full.
  bool Copy(int source, const std::string& new_name);

  // A matching pass: InitMatch, then Match until it answers false; each true answer makes the
  // matching rule current. A malformed pattern is reported and ends the pass. The three texts
  // must stay the same throughout a pass.
  void InitMatch() { match_counter_ = 1; }
  bool Match(std::string_view terminal, std::string_view alias, std::string_view text);

  bool Changed() const { return changed_; }
  void SetChanged(bool changed) { changed_ = changed; }

  // The two rules a new installation starts with.
  void AddDefaultRules();

 private:
  struct MatchCache;

  int Position(std::string_view name) const;
  void IndexNames() const;

  ErrorReporter& errors_;
  std::vector<Rule> rules_;
  int index_ = -1;
  int match_counter_ = 1;
  bool changed_ = false;
  // Folded name -> how many rules carry it, so that bulk loads need not compare every name.
  // Any writable rule handed out may be renamed, so handing one out makes the index stale.
  mutable std::unordered_map<std::string, int> names_;
  mutable bool names_stale_ = false;
  std::unique_ptr<MatchCache> cache_;
};

// Whether the whole value matches the wildcard pattern (? * # [list] [!list], letters without
// case). In a list "A-F" is a range, a "-" first or last stands for itself and a reversed range
// ("Z-A") stands for nothing; "[]" matches no character and "[!]" any one. `malformed` is set
// (and the answer is false) when the pattern has a "[" without its "]". O(value x pattern) at
// worst, usually about linear; never exponential.
bool MatchesPattern(std::string_view value, std::string_view pattern, bool& malformed);

}  // namespace kestrel
