#include "app/outputs/outputs_window.h"

#include <gtest/gtest.h>

#include <QLabel>
#include <QTableView>

namespace kestrel {
namespace {

TEST(OutputsWindowTest, ShowsEachOutputsStateAndCountersAsTheyChange) {
  std::vector<OutputStatus> statuses = {{"File", "writing kestrel-20261208.jsonl", 12, 0, 0},
                                        {"TCP", "port 4810, 1 clients", 30, 2, 1}};
  OutputsWindow window([&] { return statuses; });
  EXPECT_EQ(window.objectName(), "frmOutputs");
  const QAbstractItemModel* model = window.findChild<QTableView*>("OutputsList")->model();
  ASSERT_EQ(model->rowCount(), 2);
  EXPECT_EQ(model->headerData(OutputsModel::kDropped, Qt::Horizontal).toString(), "Dropped");
  EXPECT_EQ(model->index(1, OutputsModel::kState).data().toString(), "port 4810, 1 clients");
  EXPECT_EQ(model->index(1, OutputsModel::kFailures).data().toString(), "1");
  EXPECT_FALSE(model->index(0, OutputsModel::kColumnCount).data().isValid());

  statuses[0].written = 13;
  statuses.push_back({"MQTT", "broker away; reconnecting", 0, 0, 1});
  window.Refresh();
  ASSERT_EQ(model->rowCount(), 3);
  EXPECT_EQ(model->index(0, OutputsModel::kWritten).data().toString(), "13");
  EXPECT_EQ(model->index(2, OutputsModel::kName).data().toString(), "MQTT");
}

TEST(OutputsWindowTest, SaysSoWhenNothingIsConfigured) {
  OutputsWindow window([] { return std::vector<OutputStatus>(); });
  window.show();
  EXPECT_TRUE(window.findChild<QLabel*>("NoOutputsLabel")->isVisible());
  EXPECT_FALSE(window.findChild<QTableView*>("OutputsList")->isVisible());
}

}  // namespace
}  // namespace kestrel
