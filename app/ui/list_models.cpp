#include "app/ui/list_models.h"

#include <QBrush>
#include <QColor>
#include <algorithm>

#include "app/ui/mdt_font.h"
#include "app/ui/widget_helpers.h"

namespace kestrel {
namespace {

bool LessNoCase(const std::string& a, const std::string& b) {
  return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
    const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? char(c + 32) : c; };
    return uint8_t(lower(x)) < uint8_t(lower(y));
  });
}

}  // namespace

MessagesModel::MessagesModel(MessagesList& rows, const Settings& settings, QObject* parent)
    : QAbstractTableModel(parent), rows_(rows), settings_(settings) {
  rows_.SetObserver(this);
}

MessagesModel::~MessagesModel() { rows_.SetObserver(nullptr); }

int MessagesModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : rows_.Count();
}

int MessagesModel::columnCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : 4; }

QVariant MessagesModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || index.row() >= rows_.Count()) return {};
  const MessagesRow& row = rows_.Rows()[size_t(index.row())];
  switch (role) {
    case Qt::DisplayRole:
    case Qt::ToolTipRole:
      switch (index.column()) {
        case MessagesList::kType:
          return Utf8(row.type);
        case MessagesList::kTo:
          return Utf8(row.to);
        case MessagesList::kDetails:
          return Latin1(row.details);
        default:
          return Latin1(row.received);
      }
    case Qt::ForegroundRole:
      if (row.colour >= 0) return QBrush(ToQColor(row.colour, {}));
      if (settings_.MessagesForeground >= 0)
        return QBrush(ToQColor(settings_.MessagesForeground, {}));
      return {};
    default:
      return {};
  }
}

QVariant MessagesModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation != Qt::Horizontal || role != Qt::DisplayRole) return {};
  static const char* const kNames[] = {"Type", "To", "Message Details", "Received"};
  return section >= 0 && section < 4 ? QString(kNames[section]) : QVariant();
}

int32_t MessagesModel::Tag(int row) const {
  return row >= 0 && row < rows_.Count() ? rows_.Rows()[size_t(row)].tag : 0;
}

void MessagesModel::BeforeInsert(int position) { beginInsertRows({}, position, position); }
void MessagesModel::AfterInsert() { endInsertRows(); }
void MessagesModel::BeforeRemove(int position) { beginRemoveRows({}, position, position); }
void MessagesModel::AfterRemove() { endRemoveRows(); }
void MessagesModel::Changed(int first, int last) {
  emit dataChanged(index(first, 0), index(last, 3));
}
void MessagesModel::BeforeReorder() { emit layoutAboutToBeChanged(); }
void MessagesModel::AfterReorder() { emit layoutChanged(); }

TerminalsModel::TerminalsModel(QObject* parent) : QAbstractTableModel(parent) {}

int TerminalsModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : int(rows_.size());
}

int TerminalsModel::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : 2;
}

QVariant TerminalsModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || size_t(index.row()) >= rows_.size()) return {};
  if (role != Qt::DisplayRole && role != Qt::ToolTipRole) return {};
  const Row& row = rows_[size_t(index.row())];
  return index.column() == 0 ? Latin1(row.address) : Utf8(row.alias);
}

QVariant TerminalsModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation != Qt::Horizontal || role != Qt::DisplayRole) return {};
  return section == 0 ? QString("Terminal") : section == 1 ? QString("Alias") : QVariant();
}

void TerminalsModel::Append(std::string address, std::string alias) {
  const int position = int(rows_.size());
  beginInsertRows({}, position, position);
  rows_.push_back({std::move(address), std::move(alias)});
  endInsertRows();
}

void TerminalsModel::RemoveFirst() {
  if (rows_.empty()) return;
  beginRemoveRows({}, 0, 0);
  rows_.erase(rows_.begin());
  endRemoveRows();
}

void TerminalsModel::Clear() {
  beginResetModel();
  rows_.clear();
  endResetModel();
}

void TerminalsModel::Sort(int column, bool ascending) {
  emit layoutAboutToBeChanged();
  const QModelIndexList before = persistentIndexList();
  std::vector<Row> sorted = rows_;
  std::stable_sort(sorted.begin(), sorted.end(), [&](const Row& a, const Row& b) {
    const std::string& x = column == 0 ? a.address : a.alias;
    const std::string& y = column == 0 ? b.address : b.alias;
    return ascending ? LessNoCase(x, y) : LessNoCase(y, x);
  });
  // Persistent indexes (the selection) follow their terminal.
  QModelIndexList after;
  for (const QModelIndex& index : before) {
    const std::string& address = rows_[size_t(index.row())].address;
    const auto it = std::find_if(sorted.begin(), sorted.end(),
                                 [&](const Row& r) { return r.address == address; });
    after.push_back(this->index(int(it - sorted.begin()), index.column()));
  }
  rows_ = std::move(sorted);
  changePersistentIndexList(before, after);
  emit layoutChanged();
}

int TerminalsModel::Find(std::string_view address) const {
  for (size_t i = 0; i < rows_.size(); ++i) {
    if (rows_[i].address == address) return int(i);
  }
  return -1;
}

int TerminalsModel::SetAlias(std::string_view address, const std::string& alias) {
  int changed = 0;
  for (size_t i = 0; i < rows_.size(); ++i) {
    // A terminal the user calls "<all>" is not the all-traffic row.
    if (rows_[i].address != address || rows_[i].address == kAll) continue;
    rows_[i].alias = alias;
    emit dataChanged(index(int(i), 1), index(int(i), 1));
    ++changed;
  }
  return changed;
}

std::vector<std::string> TerminalsModel::Addresses() const {
  std::vector<std::string> names;
  for (const Row& row : rows_) names.push_back(row.address);
  return names;
}

}  // namespace kestrel
