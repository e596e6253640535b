#include "app/outputs/outputs_window.h"

#include <QHeaderView>
#include <QLabel>
#include <QTableView>
#include <QVBoxLayout>

namespace kestrel {

void OutputsModel::SetRows(std::vector<OutputStatus> rows) {
  if (rows.size() != rows_.size()) {
    beginResetModel();
    rows_ = std::move(rows);
    endResetModel();
    return;
  }
  rows_ = std::move(rows);
  if (!rows_.empty()) emit dataChanged(index(0, 0), index(rowCount() - 1, kColumnCount - 1));
}

int OutputsModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : int(rows_.size());
}

int OutputsModel::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : kColumnCount;
}

QVariant OutputsModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || index.row() >= rowCount()) return {};
  const OutputStatus& row = rows_[size_t(index.row())];
  if (role == Qt::TextAlignmentRole && index.column() >= kWritten)
    return int(Qt::AlignRight | Qt::AlignVCenter);
  if (role != Qt::DisplayRole) return {};
  switch (index.column()) {
    case kName:
      return QString::fromStdString(row.name);
    case kState:
      return QString::fromStdString(row.state);
    case kWritten:
      return QString::number(row.written);
    case kDropped:
      return QString::number(row.dropped);
    case kFailures:
      return QString::number(row.failures);
    default:
      return {};
  }
}

QVariant OutputsModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation != Qt::Horizontal || role != Qt::DisplayRole) return {};
  static const char* const kTitles[] = {"Output", "State", "Written", "Dropped", "Failures"};
  return section >= 0 && section < kColumnCount ? QString(kTitles[section]) : QVariant();
}

OutputsWindow::OutputsWindow(std::function<std::vector<OutputStatus>()> statuses, QWidget* parent)
    : QWidget(parent, Qt::Window), statuses_(std::move(statuses)) {
  setObjectName("frmOutputs");
  setWindowTitle("Outputs");
  list_ = new QTableView(this);
  list_->setObjectName("OutputsList");
  list_->setModel(&model_);
  list_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  list_->setSelectionMode(QAbstractItemView::NoSelection);
  list_->verticalHeader()->hide();
  // The state is the long text; the name and the counters take only what they need.
  list_->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
  list_->horizontalHeader()->setSectionResizeMode(OutputsModel::kState, QHeaderView::Stretch);
  list_->setWordWrap(false);
  list_->setFocusPolicy(Qt::NoFocus);
  empty_ = new QLabel("No outputs are configured.", this);
  empty_->setObjectName("NoOutputsLabel");
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(list_);
  layout->addWidget(empty_);
  resize(640, 180);
  timer_.setInterval(1000);
  connect(&timer_, &QTimer::timeout, this, &OutputsWindow::Refresh);
  Refresh();
}

void OutputsWindow::Refresh() {
  model_.SetRows(statuses_ ? statuses_() : std::vector<OutputStatus>());
  empty_->setVisible(model_.rowCount() == 0);
  list_->setVisible(model_.rowCount() > 0);
}

void OutputsWindow::showEvent(QShowEvent* event) {
  Refresh();
  timer_.start();
  QWidget::showEvent(event);
}

void OutputsWindow::hideEvent(QHideEvent* event) {
  timer_.stop();
  QWidget::hideEvent(event);
}

}  // namespace kestrel
