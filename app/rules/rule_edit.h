#pragma once

#include <functional>
#include <string>

#include "app/platform/file_question.h"
#include "app/platform/message_box.h"
#include "app/rules/rule.h"
#include "app/rules/rules_class.h"

namespace kestrel {

// The logic of the rules window and the rule dialog, free of widgets. Every list position here is
// 0-based: list entry k is rule k + 1. Single-threaded (the user interface thread).

inline constexpr const char* kErrorTitle = "Kestrel Error";
inline constexpr const char* kRuleNotFound = "Unable to find rule in memory.";

// The rule dialog's pending values (and everything else) as a new rule starts.
Rule NewRulePending();

// The completeness tests of the Messages-window and e-mail actions on pending values: the verb
// must be one the lists offer, the occurrence "word" (-1) or 1..100, the character not empty;
// e-mail also needs both addresses.

// What the rules window's buttons may do, derived from the list and its selection.
struct RulesButtons {
  bool edit = false;  // also Copy, Delete and Export Rules
  bool move_up = false;
  bool move_down = false;
};
RulesButtons RulesButtonStates(int count, int selected);

// The name Copy gives: "Copy of " + name.
std::string CopyName(const std::string& name);

// The list operations of the rules window. Each answers the entry to select afterwards (-1 for
// none) and raises Changed when it changed the set; failures show their message and change
// nothing.
int DeleteRuleAt(RulesClass& rules, int selected);
int CopyRuleAt(RulesClass& rules, int selected, MessageBoxes& boxes);
int MoveRuleUp(RulesClass& rules, int selected);
int MoveRuleDown(RulesClass& rules, int selected);
// A check mark set or cleared on entry `index`.
void SetRuleActive(RulesClass& rules, int index, bool active);

// The rule dialog's OK. `edited` is the rule as the dialog leaves it: name, patterns, action
// flags and NoFurther from the controls, the rest from the pending values. `old_name` is the
// name the rule had when Edit opened it ("" for New). On success the rule set holds the rule
// (a new one Active, an edited one keeping its Active), Changed is raised and the answer is
// the rule's 0-based list position; on refusal the message was shown, nothing changed and the
// answer is -1.
enum class RuleDialogMode { kNew, kEdit };
int AcceptRuleDialog(RulesClass& rules, RuleDialogMode mode, const std::string& old_name,
                     const Rule& edited, MessageBoxes& boxes);

// Export Rules and Import Rules with their questions and messages. Export answers whether a
// file was written; Import whether rules were read (the set's Changed raised).
bool ExportRulesCommand(RulesClass& rules, MessageBoxes& boxes, const FileQuestion& ask);
bool ImportRulesCommand(RulesClass& rules, MessageBoxes& boxes, const FileQuestion& ask);

}  // namespace kestrel
