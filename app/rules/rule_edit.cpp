#include "app/rules/rule_edit.h"

#include <utility>

#include "app/platform/paths.h"
#include "app/rules/rules_file.h"

namespace kestrel {
namespace {

using Icon = MessageBoxes::Icon;
using Buttons = MessageBoxes::Buttons;

void Critical(MessageBoxes& boxes, const char* text, const char* title) {
  boxes.Show(text, title, Icon::kStop, Buttons::kOk);
}

void Exclaim(MessageBoxes& boxes, const char* text, const char* title) {
  boxes.Show(text, title, Icon::kExclamation, Buttons::kOk);
}

}  // namespace

Rule NewRulePending() {
  Rule rule;
  rule.AlertBackgroundColor = -1;
  rule.AlertForegroundColor = -1;
  rule.LogMessageTo = 2;
  rule.LogMessageVerb = "with";
  rule.LogMessageOccurence = 1;
  rule.LogMessageCharacter = "character";
  rule.LogMessageColor = -1;
  rule.EMailMessageFromName = std::string(kProgramName);
  rule.EMailMessageVerb = "with";
  rule.EMailMessageOccurence = 1;
  rule.EMailMessageCharacter = "character";
  rule.EMailMessageSplitChars = 240;
  rule.EMailMessageLimitChars = 240;
  return rule;
}

RulesButtons RulesButtonStates(int count, int selected) {
  RulesButtons buttons;
  buttons.edit = count > 0;
  const bool valid = selected >= 0 && selected < count;
  buttons.move_up = valid && selected > 0;
  buttons.move_down = valid && selected < count - 1;
  return buttons;
}

std::string CopyName(const std::string& name) { return "Copy of " + name; }

int DeleteRuleAt(RulesClass& rules, int selected) {
  const Rule* rule = std::as_const(rules).At(selected + 1);
  if (rule == nullptr) return -1;
  // Delete goes by name; a copy keeps the name safe from the erase it causes.
  const std::string name = rule->Name;
  rules.Delete(name);
  rules.SetChanged(true);
  if (rules.Count() == 0) return -1;
  return selected < rules.Count() ? selected : rules.Count() - 1;
}

int CopyRuleAt(RulesClass& rules, int selected, MessageBoxes& boxes) {
  const Rule* rule = std::as_const(rules).At(selected + 1);
  if (rule == nullptr) {
    Critical(boxes, kRuleNotFound, kErrorTitle);
    return -1;
  }
  const std::string name = rule->Name;
  if (!rules.Find(name)) {
    Critical(boxes, kRuleNotFound, kErrorTitle);
    return -1;
  }
  if (!rules.Copy(rules.Index(), CopyName(name))) {
    Critical(boxes, "An error occured while making a copy of the selected rule.", kErrorTitle);
    return -1;
  }
  rules.SetChanged(true);
  return rules.Count() - 1;
}

int MoveRuleUp(RulesClass& rules, int selected) {
  if (selected <= 0 || selected >= rules.Count()) return selected;
  rules.Swap(selected + 1, selected);
  rules.SetChanged(true);
  return selected - 1;
}

int MoveRuleDown(RulesClass& rules, int selected) {
  if (selected < 0 || selected >= rules.Count() - 1) return selected;
  rules.Swap(selected + 1, selected + 2);
  rules.SetChanged(true);
  return selected + 1;
}

void SetRuleActive(RulesClass& rules, int index, bool active) {
  Rule* rule = rules.At(index + 1);
  if (rule == nullptr) return;
  rule->Active = active;
  rules.SetChanged(true);
}

int AcceptRuleDialog(RulesClass& rules, RuleDialogMode mode, const std::string& old_name,
                     const Rule& edited, MessageBoxes& boxes) {
  if (edited.LogFile && edited.LogFilename.empty()) {
    Exclaim(boxes, "Filename to log messages to must be supplied.", "Log message to file");
    return -1;
  }
  if (edited.PlaySound && edited.SoundFilename.empty()) {
    Exclaim(boxes, "Filename to play to must be supplied.", "Play Sound");
    return -1;
  }
  // The dialog keeps OK disabled without a name; a nameless rule could never be found again.
  if (edited.Name.empty()) return -1;
  bool active = true;
  if (mode == RuleDialogMode::kNew) {
    if (!rules.Add(edited.Name)) {
      Exclaim(boxes, "The rule name conflicts with an existing rule.", "Rule Name Conflict");
      return -1;
    }
  } else {
    // Find ignores case and the difference test does not, so a rename only in letter case is
    // refused as a clash with the rule itself.
    if (rules.Contains(edited.Name) && edited.Name != old_name) {
      Critical(boxes, "A rule already exists with this name, each rule must have a unique name.",
               "Rule Name Conflict");
      return -1;
    }
    if (!rules.Find(old_name)) {
      Exclaim(boxes, kRuleNotFound, kErrorTitle);
      return -1;
    }
    active = rules.Current()->Active;
  }
  Rule* rule = rules.Current();
  *rule = edited;
  rule->Active = active;
  rules.SetChanged(true);
  return rules.Index() - 1;
}

bool ExportRulesCommand(RulesClass& rules, MessageBoxes& boxes, const FileQuestion& ask) {
  if (!ask) return false;
  const std::string path = ask("Export Rules To", "*.ini", "*.ini", "ini");
  if (path.empty()) return false;
  const bool existed = FileExists(path);
  if (existed && boxes.Show("File already exists, overwrite?", "Overwrite file?", Icon::kQuestion,
                            Buttons::kYesNo) != MessageBoxes::Answer::kYes) {
    return false;
  }
  if (!ExportRules(rules, path)) {
    // A file that could not be written is not passed over in silence: the user would
    // otherwise take it for an export.
    Exclaim(boxes,
            existed ? "Unable to overwrite file, can't export rules."
                    : "Unable to write file, can't export rules.",
            "Export Rules To");
    return false;
  }
  return true;
}

bool ImportRulesCommand(RulesClass& rules, MessageBoxes& boxes, const FileQuestion& ask) {
  if (!ask) return false;
  const std::string path = ask("Import Rules From", "*.ini", "*.ini", "ini");
  if (path.empty()) return false;
  switch (ImportRules(rules, path)) {
    case RulesImport::kImported:
      return true;
    case RulesImport::kNotFound:
      Exclaim(boxes, "File not found", "Import Rules From");
      return false;
    case RulesImport::kInvalid:
      Exclaim(boxes, "The file is not a rules file, no rules were imported.", "Import Rules From");
      return false;
  }
  return false;
}

}  // namespace kestrel
