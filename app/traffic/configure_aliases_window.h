#pragma once

#include <QDialog>
#include <QObject>
#include <QPointer>
#include <functional>
#include <string>

#include "app/platform/file_question.h"
#include "app/platform/message_box.h"
#include "app/profile/settings.h"
#include "app/traffic/alias_commands.h"
#include "app/traffic/assign_alias_dialog.h"

class QPushButton;
class QTreeView;

namespace kestrel {

class AliasRowsModel;

// Why an alias changed, for the main window's Terminals list: only an assignment through the
// Assign dialog sorts it again when it is sorted by the alias column.
enum class AliasChange { kAssigned, kImported, kDeleted };
// Called with the terminal and its new alias ("" after kDeleted).
using AliasChanged =
    std::function<void(const std::string& terminal, const std::string& alias, AliasChange)>;

// The Configure Terminal Aliases window: the list of pairs, Add/Edit/Delete, Import/Export.
// Not modal; deleted when closed. Made and driven by AliasWindows.
class ConfigureAliasesWindow : public QDialog {
  Q_OBJECT

 public:
  using OpenAssign = std::function<void(AssignAliasDialog::Opening, const std::string& terminal)>;

  // `commands` and `ask` outlive the window; `main_window` is told of every alias change for
  // the Terminals rows; `open_assign` opens the Assign dialog for Add and Edit. While `ask` is
  // empty the platform's file dialogs ask.
  ConfigureAliasesWindow(AliasCommands& commands, AliasChanged main_window, const FileQuestion& ask,
                         OpenAssign open_assign, QWidget* parent = nullptr);
  ~ConfigureAliasesWindow() override;

  // After OK in the Assign dialog: the terminal's row shows the alias (added when missing), the
  // list sorts again when sorted by alias, Edit and Delete are disabled.
  void Assigned(const std::string& terminal, const std::string& alias);
  // The selected row's terminal; "" when none.
  std::string SelectedTerminal() const;

 private:
  void SetRow(const std::string& terminal, const std::string& alias);
  void SelectionButtons(bool enabled);
  void UpdateExportButton();
  void Sort(int column);
  void Delete();
  void Export();
  void Import();
  AliasListeners Listeners(AliasChange change);

  AliasCommands& commands_;
  AliasChanged main_window_;
  const FileQuestion& ask_;
  OpenAssign open_assign_;
  AliasRows rows_;
  AliasRowsModel* model_;
  QTreeView* list_;
  QPushButton* edit_;
  QPushButton* delete_;
  QPushButton* export_;
};

// The alias windows of the main window: the one entry point for its commands. User-interface
// thread only; lives as long as the main window.
class AliasWindows : public QObject {
  Q_OBJECT

 public:
  // `aliases`, `settings` and `boxes` outlive this object; `parent_window` (the main window)
  // parents the windows. `alias_changed` is called whenever the user changes an alias: the main
  // window sets the alias column of its Terminals rows for that terminal, and for kAssigned
  // sorts the list again when it is sorted by that column.
  AliasWindows(TerminalAliases& aliases, const Settings& settings, MessageBoxes& boxes,
               QWidget* parent_window, AliasChanged alias_changed);
  ~AliasWindows() override;

  // Answers the Export/Import file questions in place of the file dialogs (tests); an empty
  // function brings the dialogs back.
  void SetFileQuestion(FileQuestion ask) { ask_ = std::move(ask); }

  // ConfigureAliasesMenuItem: shows the Configure Terminal Aliases window, loading it first
  // when it is not open.
  void ShowConfigureWindow();
  // TerminalAliasMenuItem: the Assign dialog with empty fields.
  void AssignAlias();
  // A double click on a Terminals row, or EditAliasMenuItem: the Assign dialog for that
  // terminal with its alias. Nothing for "<all>" or "".
  void EditAlias(const std::string& terminal);

  // The open windows; null when not open.
  ConfigureAliasesWindow* ConfigureWindow() const { return configure_; }
  AssignAliasDialog* AssignDialog() const { return assign_; }

 private:
  void OpenAssign(AssignAliasDialog::Opening opening, const std::string& terminal);

  AliasCommands commands_;
  const Settings& settings_;
  QWidget* parent_window_;
  AliasChanged alias_changed_;
  FileQuestion ask_;
  QPointer<ConfigureAliasesWindow> configure_;
  QPointer<AssignAliasDialog> assign_;
};

}  // namespace kestrel
