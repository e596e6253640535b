#include "app/network/clients_connected_window.h"

#include <gtest/gtest.h>

#include <QListWidget>
#include <QPointer>
#include <QPushButton>
#include <QTest>

#include "ui/ui_test_support.h"

namespace kestrel {
namespace {

using kestrel_test::DeleteClosedWindows;
using kestrel_test::Find;

QStringList Items(const QListWidget* list) {
  QStringList items;
  for (int row = 0; row < list->count(); ++row) items << list->item(row)->text();
  return items;
}

class ClientsConnectedTest : public testing::Test {
 protected:
  ~ClientsConnectedTest() override {
    delete window_.data();
    DeleteClosedWindows();
  }

  QPointer<ClientsConnected> window_ =
      new ClientsConnected({"10.1.1.7", "192.168.0.20", "10.1.1.3"}, false);
};

TEST_F(ClientsConnectedTest, ListsTheHostsInOrder) {
  EXPECT_EQ(window_->objectName(), "ClientsConnected");
  EXPECT_EQ(window_->windowTitle(), "Clients Connected");
  auto* list = Find<QListWidget>(window_.data(), "ClientsListbox");
  ASSERT_NE(list, nullptr);
  EXPECT_EQ(Items(list), (QStringList{"10.1.1.7", "192.168.0.20", "10.1.1.3"}));
  window_->SetHosts({"10.1.1.3"});
  EXPECT_EQ(Items(list), QStringList{"10.1.1.3"});
  window_->SetHosts({});
  EXPECT_EQ(list->count(), 0);
  EXPECT_EQ(Find<QPushButton>(window_.data(), "OKButton")->text(), "OK");
  EXPECT_FALSE(window_->isModal());
}

TEST_F(ClientsConnectedTest, OKClosesAndDeletesTheWindow) {
  window_->show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(window_.data()));
  Find<QPushButton>(window_.data(), "OKButton")->click();
  DeleteClosedWindows();
  EXPECT_TRUE(window_.isNull());
}

TEST_F(ClientsConnectedTest, EscapeClosesAndDeletesTheWindowToo) {
  window_->show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(window_.data()));
  QTest::keyClick(window_.data(), Qt::Key_Escape);
  DeleteClosedWindows();
  EXPECT_TRUE(window_.isNull());
}

TEST_F(ClientsConnectedTest, TheListFillsTheWindowAboveTheButton) {
  window_->show();
  auto* list = Find<QListWidget>(window_.data(), "ClientsListbox");
  auto* ok = Find<QPushButton>(window_.data(), "OKButton");
  for (const QSize size : {QSize(300, 240), QSize(520, 400), QSize(200, 160)}) {
    window_->resize(size);
    QCoreApplication::processEvents();
    const QRect box = list->geometry();
    const QRect button = ok->geometry();
    EXPECT_LT(box.bottom(), button.top()) << "above the button";
    const int margin = box.left();
    EXPECT_GT(margin, 0);
    EXPECT_EQ(window_->width() - 1 - box.right(), margin) << "full width";
    EXPECT_EQ(box.top(), margin);
    EXPECT_EQ(window_->height() - 1 - button.bottom(), margin) << "button at the bottom";
    EXPECT_EQ(button.right(), box.right()) << "button at the right";
    // The button keeps its size; the list takes the rest.
    EXPECT_EQ(button.height(), ok->sizeHint().height());
  }
}

TEST_F(ClientsConnectedTest, HonoursAlwaysOnTop) {
  EXPECT_FALSE(window_->windowFlags().testFlag(Qt::WindowStaysOnTopHint));
  QPointer<ClientsConnected> on_top = new ClientsConnected({}, true);
  EXPECT_TRUE(on_top->windowFlags().testFlag(Qt::WindowStaysOnTopHint));
  delete on_top.data();
}

}  // namespace
}  // namespace kestrel
