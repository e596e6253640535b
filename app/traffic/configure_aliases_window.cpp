#include "app/traffic/configure_aliases_window.h"

#include <QAbstractTableModel>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QPushButton>
#include <QTreeView>
#include <QVBoxLayout>
#include <algorithm>

#include "app/platform/file_dialog.h"
#include "app/profile/set_topmost.h"
#include "app/profile/status_window.h"
#include "app/ui/list_models.h"
#include "app/ui/widget_helpers.h"
#include "app/ui/window_geometry.h"

namespace kestrel {

// The list's rows as a table: terminal, alias.
class AliasRowsModel : public QAbstractTableModel {
 public:
  AliasRowsModel(const AliasRows& rows, QObject* parent)
      : QAbstractTableModel(parent), rows_(rows) {}

  int rowCount(const QModelIndex& parent = {}) const override {
    return parent.isValid() ? 0 : rows_.Count();
  }
  int columnCount(const QModelIndex& parent = {}) const override {
    return parent.isValid() ? 0 : 2;
  }
  QVariant data(const QModelIndex& index, int role) const override {
    if (!index.isValid() || index.row() >= rows_.Count()) return {};
    if (role != Qt::DisplayRole && role != Qt::ToolTipRole) return {};
    const AliasRows::Row& row = rows_.At(index.row());
    return index.column() == AliasRows::kTerminal ? Latin1(row.terminal) : Utf8(row.alias);
  }
  QVariant headerData(int section, Qt::Orientation orientation, int role) const override {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole) return {};
    return section == AliasRows::kTerminal ? QString("Terminal")
           : section == AliasRows::kAlias  ? QString("Alias")
                                           : QVariant();
  }
  // Around an append to the rows.
  void BeginAppend() { beginInsertRows({}, rows_.Count(), rows_.Count()); }
  void EndAppend() { endInsertRows(); }
  // The rows changed under the model in any other way.
  void Reload() {
    beginResetModel();
    endResetModel();
  }

 private:
  const AliasRows& rows_;
};

namespace {

constexpr double kListWidth = 4200;  // twips
constexpr double kListHeight = 3600;
constexpr double kTerminalColumnWidth = 1400;

}  // namespace

ConfigureAliasesWindow::ConfigureAliasesWindow(AliasCommands& commands, AliasChanged main_window,
                                               const FileQuestion& ask, OpenAssign open_assign,
                                               QWidget* parent)
    : QDialog(parent),
      commands_(commands),
      main_window_(std::move(main_window)),
      ask_(ask),
      open_assign_(std::move(open_assign)),
      model_(new AliasRowsModel(rows_, this)),
      list_(new QTreeView(this)) {
  setObjectName("ConfigureAliases");
  setWindowTitle("Configure Terminal Aliases");
  setAttribute(Qt::WA_DeleteOnClose);
  setModal(false);

  list_->setObjectName("Terminals");
  list_->setModel(model_);
  list_->setRootIsDecorated(false);
  list_->setUniformRowHeights(true);
  list_->setAllColumnsShowFocus(true);
  list_->setSelectionBehavior(QAbstractItemView::SelectRows);
  list_->setSelectionMode(QAbstractItemView::SingleSelection);
  list_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  list_->header()->setSectionsClickable(true);
  list_->header()->setSortIndicatorShown(false);
  list_->header()->setStretchLastSection(true);
  list_->setMinimumSize(ToPixels(*this, kListWidth), ToPixels(*this, kListHeight));

  auto* add = NewButton("AddButton", "&Add...", this);
  edit_ = NewButton("EditButton", "&Edit...", this);
  delete_ = NewButton("DeleteButton", "&Delete", this);
  auto* import = NewButton("ImportButton", "&Import...", this);
  export_ = NewButton("ExportButton", "E&xport...", this);
  auto* ok = NewButton("OKButton", "OK", this);
  ok->setDefault(true);

  auto* buttons = new QVBoxLayout;
  for (QPushButton* button : {add, edit_, delete_}) buttons->addWidget(button);
  buttons->addSpacing(ToPixels(*this, 120));
  buttons->addWidget(import);
  buttons->addWidget(export_);
  buttons->addStretch();
  buttons->addWidget(ok);
  auto* layout = new QHBoxLayout(this);
  layout->addWidget(list_, 1);
  layout->addLayout(buttons);

  rows_.Load(commands_.Aliases());
  model_->Reload();
  list_->resizeColumnToContents(AliasRows::kTerminal);
  list_->header()->resizeSection(AliasRows::kTerminal,
                                 std::max(list_->header()->sectionSize(AliasRows::kTerminal),
                                          ToPixels(*this, kTerminalColumnWidth)));
  SelectionButtons(false);
  UpdateExportButton();

  connect(list_, &QTreeView::clicked, this, [this] { SelectionButtons(true); });
  connect(list_->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
          [this](const QModelIndex& current) {
            if (current.isValid()) SelectionButtons(true);
          });
  connect(list_, &QTreeView::doubleClicked, this, [this] {
    const std::string terminal = SelectedTerminal();
    if (!terminal.empty()) open_assign_(AssignAliasDialog::Opening::kEdit, terminal);
  });
  connect(list_->header(), &QHeaderView::sectionClicked, this, &ConfigureAliasesWindow::Sort);
  connect(add, &QPushButton::clicked, this,
          [this] { open_assign_(AssignAliasDialog::Opening::kAdd, ""); });
  connect(edit_, &QPushButton::clicked, this, [this] {
    const std::string terminal = SelectedTerminal();
    if (!terminal.empty()) open_assign_(AssignAliasDialog::Opening::kEdit, terminal);
  });
  connect(delete_, &QPushButton::clicked, this, &ConfigureAliasesWindow::Delete);
  connect(import, &QPushButton::clicked, this, &ConfigureAliasesWindow::Import);
  connect(export_, &QPushButton::clicked, this, &ConfigureAliasesWindow::Export);
  connect(ok, &QPushButton::clicked, this, &QDialog::close);
}

ConfigureAliasesWindow::~ConfigureAliasesWindow() {
  // The base classes hide the list after rows_ is gone; nothing may read the rows or reach
  // this window's slots then.
  list_->selectionModel()->disconnect(this);
  list_->header()->disconnect(this);
  list_->disconnect(this);
  list_->setModel(nullptr);
}

void ConfigureAliasesWindow::Assigned(const std::string& terminal, const std::string& alias) {
  SetRow(terminal, alias);
  if (rows_.SortColumn() == AliasRows::kAlias) {
    rows_.Resort();
    model_->Reload();
  }
  SelectionButtons(false);
  UpdateExportButton();
}

std::string ConfigureAliasesWindow::SelectedTerminal() const {
  const QModelIndexList selected = list_->selectionModel()->selectedRows();
  if (selected.isEmpty() || selected.first().row() >= rows_.Count()) return {};
  return rows_.At(selected.first().row()).terminal;
}

void ConfigureAliasesWindow::SetRow(const std::string& terminal, const std::string& alias) {
  const int found = rows_.Find(terminal);
  if (found >= 0) {
    rows_.Set(terminal, alias);
    emit model_->dataChanged(model_->index(found, AliasRows::kAlias),
                             model_->index(found, AliasRows::kAlias));
    return;
  }
  model_->BeginAppend();
  rows_.Set(terminal, alias);
  model_->EndAppend();
}

void ConfigureAliasesWindow::SelectionButtons(bool enabled) {
  edit_->setEnabled(enabled);
  delete_->setEnabled(enabled);
}

void ConfigureAliasesWindow::UpdateExportButton() {
  export_->setEnabled(commands_.Aliases().Count() > 0);
}

void ConfigureAliasesWindow::Sort(int column) {
  if (column != AliasRows::kTerminal && column != AliasRows::kAlias) return;
  // The selection follows its terminal.
  const std::string selected = SelectedTerminal();
  rows_.SortByClick(AliasRows::Column(column));
  model_->Reload();
  list_->header()->setSortIndicatorShown(true);
  list_->header()->setSortIndicator(column,
                                    rows_.Ascending() ? Qt::AscendingOrder : Qt::DescendingOrder);
  const int row = selected.empty() ? -1 : rows_.Find(selected);
  if (row >= 0) {
    list_->selectionModel()->setCurrentIndex(
        model_->index(row, 0), QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
  }
}

void ConfigureAliasesWindow::Delete() {
  const QModelIndexList selected = list_->selectionModel()->selectedRows();
  if (selected.isEmpty() || selected.first().row() >= rows_.Count()) return;
  const int row = selected.first().row();
  const std::string terminal = rows_.At(row).terminal;
  rows_.RemoveAt(row);
  model_->Reload();
  commands_.Delete(terminal, Listeners(AliasChange::kDeleted));
  SelectionButtons(false);
  UpdateExportButton();
}

void ConfigureAliasesWindow::Export() {
  StatusWindow progress(this);
  commands_.Export(
      // The overwrite question is the command's own.
      [this](const std::string& title, const std::string&, const std::string& filter,
             const std::string& suffix) {
        return AskFile(ask_, this, FileDialogMode::kSaveNoOverwriteQuestion, title, "", filter,
                       suffix);
      },
      &progress);
}

void ConfigureAliasesWindow::Import() {
  StatusWindow progress(this);
  commands_.Import(
      [this](const std::string& title, const std::string&, const std::string& filter,
             const std::string& suffix) {
        return AskFile(ask_, this, FileDialogMode::kOpen, title, "", filter, suffix);
      },
      &progress, Listeners(AliasChange::kImported));
  UpdateExportButton();
}

AliasListeners ConfigureAliasesWindow::Listeners(AliasChange change) {
  AliasAssigned main_window;
  if (main_window_) {
    main_window = [this, change](const std::string& terminal, const std::string& alias) {
      main_window_(terminal, alias, change);
    };
  }
  return {main_window, [this](const std::string& terminal, const std::string& alias) {
            SetRow(terminal, alias);
          }};
}

// ---- AliasWindows ----

AliasWindows::AliasWindows(TerminalAliases& aliases, const Settings& settings, MessageBoxes& boxes,
                           QWidget* parent_window, AliasChanged alias_changed)
    : QObject(parent_window),
      commands_(aliases, boxes),
      settings_(settings),
      parent_window_(parent_window),
      alias_changed_(std::move(alias_changed)) {}

AliasWindows::~AliasWindows() {
  // The windows hold references into this object.
  delete assign_.data();
  delete configure_.data();
}

void AliasWindows::ShowConfigureWindow() {
  if (!configure_) {
    configure_ = new ConfigureAliasesWindow(
        commands_, alias_changed_, ask_,
        [this](AssignAliasDialog::Opening opening, const std::string& terminal) {
          OpenAssign(opening, terminal);
        },
        parent_window_);
    SetTopmost(configure_, settings_.AlwaysOnTop);
  }
  configure_->show();
  configure_->raise();
  configure_->activateWindow();
}

void AliasWindows::AssignAlias() { OpenAssign(AssignAliasDialog::Opening::kAssign, ""); }

void AliasWindows::EditAlias(const std::string& terminal) {
  if (terminal.empty() || terminal == TerminalsModel::kAll) return;
  OpenAssign(AssignAliasDialog::Opening::kEditRow, terminal);
}

void AliasWindows::OpenAssign(AssignAliasDialog::Opening opening, const std::string& terminal) {
  // One at a time, and each opening starts afresh.
  delete assign_.data();
  QWidget* parent =
      opening == AssignAliasDialog::Opening::kAdd || opening == AssignAliasDialog::Opening::kEdit
          ? static_cast<QWidget*>(configure_.data())
          : parent_window_;
  assign_ = new AssignAliasDialog(opening, terminal, commands_.Aliases().Alias(terminal), parent);
  assign_->setAttribute(Qt::WA_DeleteOnClose);
  assign_->setWindowModality(Qt::ApplicationModal);
  SetTopmost(assign_, settings_.AlwaysOnTop);
  AssignAliasDialog* dialog = assign_;
  connect(dialog, &QDialog::accepted, this, [this, dialog] {
    AliasListeners listeners;
    if (alias_changed_) {
      listeners.main_window = [this](const std::string& terminal, const std::string& alias) {
        alias_changed_(terminal, alias, AliasChange::kAssigned);
      };
    }
    if (!commands_.Assign(dialog->Terminal(), dialog->Alias(), listeners)) return;
    if (configure_ && configure_->isVisible())
      configure_->Assigned(dialog->Terminal(), dialog->Alias());
  });
  assign_->show();
  assign_->raise();
  assign_->activateWindow();
}

}  // namespace kestrel
