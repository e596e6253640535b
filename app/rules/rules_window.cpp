#include "app/rules/rules_window.h"

#include <QHBoxLayout>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>
#include <utility>

#include "app/platform/file_dialog.h"
#include "app/profile/set_topmost.h"
#include "app/ui/widget_helpers.h"

namespace kestrel {

RulesWindow::RulesWindow(RulesClass& rules, const Settings& settings, MessageBoxes& boxes,
                         QWidget* parent)
    : QWidget(parent, Qt::Window), rules_(rules), settings_(settings), boxes_(boxes) {
  setObjectName("RulesConfigure");
  setWindowTitle("Configure Rules");
  setAttribute(Qt::WA_DeleteOnClose);

  auto* layout = new QHBoxLayout(this);
  list_ = new QListWidget(this);
  list_->setObjectName("RulesListbox");
  list_->setSelectionMode(QAbstractItemView::SingleSelection);
  layout->addWidget(list_, 1);

  auto* column = new QVBoxLayout;
  new_ = NewButton("NewButton", "&New Rule...", this);
  edit_ = NewButton("EditButton", "&Edit Rule...", this);
  delete_ = NewButton("DeleteButton", "&Delete Rule", this);
  copy_ = NewButton("CopyRule", "&Copy Rule", this);
  move_up_ = NewButton("MoveUpButton", "Move &Up", this);
  move_down_ = NewButton("MoveDownButton", "Move D&own", this);
  export_ = NewButton("ExportRulesButton", "&Export Rules...", this);
  auto* import = NewButton("ImportRulesButton", "&Import Rules...", this);
  auto* close_button = NewButton("CloseButton", "Close", this);
  for (QPushButton* button : {new_, edit_, delete_, copy_, move_up_, move_down_}) {
    column->addWidget(button);
  }
  column->addSpacing(12);
  column->addWidget(export_);
  column->addWidget(import);
  column->addStretch(1);
  column->addWidget(close_button);
  layout->addLayout(column);

  connect(list_, &QListWidget::currentRowChanged, this, [this] { RefreshButtons(); });
  connect(list_, &QListWidget::itemChanged, this, &RulesWindow::ItemChanged);
  connect(list_, &QListWidget::itemDoubleClicked, this, [this] { EditRule(); });
  connect(new_, &QPushButton::clicked, this, &RulesWindow::NewRule);
  connect(edit_, &QPushButton::clicked, this, &RulesWindow::EditRule);
  connect(delete_, &QPushButton::clicked, this, &RulesWindow::DeleteRule);
  connect(copy_, &QPushButton::clicked, this, &RulesWindow::CopyRule);
  connect(move_up_, &QPushButton::clicked, this, &RulesWindow::MoveUp);
  connect(move_down_, &QPushButton::clicked, this, &RulesWindow::MoveDown);
  connect(export_, &QPushButton::clicked, this, &RulesWindow::ExportRules);
  connect(import, &QPushButton::clicked, this, &RulesWindow::ImportRules);
  connect(close_button, &QPushButton::clicked, this, &QWidget::close);

  resize(440, 320);
  SetTopmost(this, settings_.AlwaysOnTop);
  Reload();
  Select(rules_.Count() > 0 ? 0 : -1);
}

void RulesWindow::ShowAndFocus() {
  show();
  raise();
  activateWindow();
  new_->setFocus();
}

void RulesWindow::Reload() {
  const int selected = list_->currentRow();
  {
    const QSignalBlocker quiet(list_);
    list_->clear();
    for (int position = 1; position <= rules_.Count(); ++position) {
      const Rule& rule = *std::as_const(rules_).At(position);
      auto* item = new QListWidgetItem(Utf8(rule.Name), list_);
      item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
      item->setCheckState(rule.Active ? Qt::Checked : Qt::Unchecked);
    }
  }
  Select(std::min(selected, list_->count() - 1));
}

void RulesWindow::Select(int index) {
  {
    const QSignalBlocker quiet(list_);
    list_->setCurrentRow(index);
  }
  RefreshButtons();
}

void RulesWindow::RefreshButtons() {
  const RulesButtons states = RulesButtonStates(list_->count(), list_->currentRow());
  edit_->setEnabled(states.edit);
  copy_->setEnabled(states.edit);
  delete_->setEnabled(states.edit);
  export_->setEnabled(states.edit);
  move_up_->setEnabled(states.move_up);
  move_down_->setEnabled(states.move_down);
}

void RulesWindow::ItemChanged(QListWidgetItem* item) {
  SetRuleActive(rules_, list_->row(item), item->checkState() == Qt::Checked);
}

int RulesWindow::RunDialog(RuleDialog& dialog) {
  return run_dialog_ ? run_dialog_(dialog) : dialog.exec();
}

void RulesWindow::NewRule() {
  RuleDialog dialog(rules_, settings_, boxes_, ask_, hooks_, this);
  dialog.Prepare(RuleDialogMode::kNew, NewRulePending(), "");
  const bool accepted = RunDialog(dialog) == QDialog::Accepted;
  Reload();
  if (accepted) Select(dialog.AcceptedPosition());
}

void RulesWindow::EditRule() {
  const int selected = list_->currentRow();
  const Rule* rule = std::as_const(rules_).At(selected + 1);
  if (rule == nullptr) {
    boxes_.Show(kRuleNotFound, kErrorTitle, MessageBoxes::Icon::kStop, MessageBoxes::Buttons::kOk);
    return;
  }
  RuleDialog dialog(rules_, settings_, boxes_, ask_, hooks_, this);
  dialog.Prepare(RuleDialogMode::kEdit, *rule, rule->Name);
  const bool accepted = RunDialog(dialog) == QDialog::Accepted;
  Reload();
  if (accepted) Select(dialog.AcceptedPosition());
}

void RulesWindow::DeleteRule() {
  const int next = DeleteRuleAt(rules_, list_->currentRow());
  Reload();
  Select(next);
}

void RulesWindow::CopyRule() {
  const int copy = CopyRuleAt(rules_, list_->currentRow(), boxes_);
  if (copy < 0) return;
  Reload();
  Select(copy);
}

void RulesWindow::MoveUp() {
  const int selected = MoveRuleUp(rules_, list_->currentRow());
  Reload();
  Select(selected);
}

void RulesWindow::MoveDown() {
  const int selected = MoveRuleDown(rules_, list_->currentRow());
  Reload();
  Select(selected);
}

void RulesWindow::ExportRules() {
  // The overwrite question is the command's own.
  ExportRulesCommand(rules_, boxes_,
                     [this](const std::string& title, const std::string& proposed,
                            const std::string& filter, const std::string& suffix) {
                       return AskFile(ask_, this, FileDialogMode::kSaveNoOverwriteQuestion, title,
                                      proposed, filter, suffix);
                     });
}

void RulesWindow::ImportRules() {
  const int selected = list_->currentRow();
  const bool imported = ImportRulesCommand(
      rules_, boxes_,
      [this](const std::string& title, const std::string& proposed, const std::string& filter,
             const std::string& suffix) {
        return AskFile(ask_, this, FileDialogMode::kOpen, title, proposed, filter, suffix);
      });
  if (!imported) return;
  Reload();
  Select(selected < 0 && list_->count() > 0 ? 0 : selected);
}

RulesWindow* ShowRulesWindow(QPointer<RulesWindow>& slot, RulesClass& rules,
                             const Settings& settings, MessageBoxes& boxes, QWidget* parent,
                             FileQuestion ask, RuleDialogHooks hooks) {
  if (slot.isNull()) {
    slot = new RulesWindow(rules, settings, boxes, parent);
    slot->SetFileQuestion(std::move(ask));
    slot->SetRuleDialogHooks(std::move(hooks));
  }
  slot->ShowAndFocus();
  return slot;
}

}  // namespace kestrel
