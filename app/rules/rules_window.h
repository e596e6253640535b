#pragma once

#include <QPointer>
#include <QWidget>
#include <functional>

#include "app/platform/file_question.h"
#include "app/platform/message_box.h"
#include "app/profile/settings.h"
#include "app/rules/rule_dialog.h"
#include "app/rules/rule_edit.h"
#include "app/rules/rules_class.h"

class QListWidget;
class QListWidgetItem;
class QPushButton;

namespace kestrel {

// The rules window (RulesConfigure): the rule set as a list with Active check marks, and the
// commands that create, edit, delete, copy, reorder, export and import rules. Not modal; every
// change goes straight into the rule set and raises its Changed mark. Deletes itself on Close.
// The list always mirrors the rule set: entry k is rule k + 1.
class RulesWindow : public QWidget {
  Q_OBJECT

 public:
  // Runs the rule dialog modally and answers its result (QDialog::Accepted or Rejected).
  using DialogRunner = std::function<int(RuleDialog& dialog)>;

  // The references must outlive the window. `parent` (the main window) only owns it: the rules
  // window is a window of its own.
  RulesWindow(RulesClass& rules, const Settings& settings, MessageBoxes& boxes,
              QWidget* parent = nullptr);

  // Empty (the default): the platform's file dialogs, starting in the configuration directory.
  void SetFileQuestion(FileQuestion ask) { ask_ = std::move(ask); }
  // Passed to every rule dialog New and Edit open.
  void SetRuleDialogHooks(RuleDialogHooks hooks) { hooks_ = std::move(hooks); }
  // Empty (the default): QDialog::exec. Tests drive the dialog here.
  void SetDialogRunner(DialogRunner runner) { run_dialog_ = std::move(runner); }

  // Shows, raises and activates the window with the focus on a command button: what the
  // Configure menu's Rules item does, whether or not the window was open.
  void ShowAndFocus();
  // Rebuilds the list from the rule set (e.g. after a profile load replaced it), keeping the
  // selected position where it can.
  void Reload();

 private:
  void Select(int index);
  void RefreshButtons();
  void ItemChanged(QListWidgetItem* item);
  void NewRule();
  void EditRule();
  void DeleteRule();
  void CopyRule();
  void MoveUp();
  void MoveDown();
  void ExportRules();
  void ImportRules();
  int RunDialog(RuleDialog& dialog);

  RulesClass& rules_;
  const Settings& settings_;
  MessageBoxes& boxes_;
  FileQuestion ask_;
  RuleDialogHooks hooks_;
  DialogRunner run_dialog_;

  QListWidget* list_ = nullptr;
  QPushButton* new_ = nullptr;
  QPushButton* edit_ = nullptr;
  QPushButton* delete_ = nullptr;
  QPushButton* copy_ = nullptr;
  QPushButton* move_up_ = nullptr;
  QPushButton* move_down_ = nullptr;
  QPushButton* export_ = nullptr;
};

// The Configure menu's Rules item: shows the window `slot` holds, or a new one (kept in `slot`)
// when it holds none, with the focus on a command button. The window is owned by `parent` and
// deletes itself on Close, which empties `slot`. `ask` and `hooks` go to a new window only.
RulesWindow* ShowRulesWindow(QPointer<RulesWindow>& slot, RulesClass& rules,
                             const Settings& settings, MessageBoxes& boxes, QWidget* parent,
                             FileQuestion ask = {}, RuleDialogHooks hooks = {});

}  // namespace kestrel
