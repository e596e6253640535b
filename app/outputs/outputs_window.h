#pragma once

#include <QAbstractTableModel>
#include <QTimer>
#include <QWidget>
#include <functional>
#include <vector>

#include "app/outputs/output.h"

class QTableView;

namespace kestrel {

// The outputs' rows for a list: Output, State, Written, Dropped, Failures.
class OutputsModel : public QAbstractTableModel {
 public:
  enum Column { kName = 0, kState, kWritten, kDropped, kFailures, kColumnCount };

  void SetRows(std::vector<OutputStatus> rows);
  int rowCount(const QModelIndex& parent = {}) const override;
  int columnCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

 private:
  std::vector<OutputStatus> rows_;
};

// View > Outputs (frmOutputs): a read-only list of each output's state and counters, read
// from `statuses` (normally Station::Statuses) every second while shown. Says "No outputs are
// configured." when there are none.
class OutputsWindow : public QWidget {
 public:
  explicit OutputsWindow(std::function<std::vector<OutputStatus>()> statuses,
                         QWidget* parent = nullptr);
  // Reads the statuses now.
  void Refresh();
  const OutputsModel& model() const { return model_; }

 protected:
  void showEvent(QShowEvent* event) override;
  void hideEvent(QHideEvent* event) override;

 private:
  std::function<std::vector<OutputStatus>()> statuses_;
  OutputsModel model_;
  QTableView* list_;
  QWidget* empty_;
  QTimer timer_;
};

}  // namespace kestrel
