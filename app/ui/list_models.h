#pragma once

#include <QAbstractTableModel>
#include <string>
#include <vector>

#include "app/display/messages_list.h"
#include "app/profile/settings.h"

namespace kestrel {

// The Messages list: the rows the rules logged, in the order the logic keeps them; a row's rule
// colour is its foreground.
class MessagesModel : public QAbstractTableModel, private MessagesList::Observer {
 public:
  MessagesModel(MessagesList& rows, const Settings& settings, QObject* parent = nullptr);
  ~MessagesModel() override;

  int rowCount(const QModelIndex& parent = {}) const override;
  int columnCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

  // The tag of a row, 0 when there is no such row.
  int32_t Tag(int row) const;

 private:
  void BeforeInsert(int position) override;
  void AfterInsert() override;
  void BeforeRemove(int position) override;
  void AfterRemove() override;
  void Changed(int first, int last) override;
  void BeforeReorder() override;
  void AfterReorder() override;

  MessagesList& rows_;
  const Settings& settings_;
};

// The Active Terminals list: "<all>" first, then every terminal heard, with its alias.
class TerminalsModel : public QAbstractTableModel {
 public:
  static constexpr char kAll[] = "<all>";

  explicit TerminalsModel(QObject* parent = nullptr);

  int rowCount(const QModelIndex& parent = {}) const override;
  int columnCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

  void Append(std::string address, std::string alias);
  void RemoveFirst();
  void Clear();
  // Stable, letters without case.
  void Sort(int column, bool ascending);
  const std::string& Address(int row) const { return rows_[size_t(row)].address; }
  int Find(std::string_view address) const;
  // Shows `alias` in the alias column of every row whose text is `address`. The rows changed.
  int SetAlias(std::string_view address, const std::string& alias);
  // Names of every row, "<all>" included.
  std::vector<std::string> Addresses() const;

 private:
  struct Row {
    std::string address;
    std::string alias;
  };
  std::vector<Row> rows_;
};

}  // namespace kestrel
