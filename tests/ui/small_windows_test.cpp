#include <gtest/gtest.h>

#include <QAction>
#include <QCoreApplication>
#include <QFontInfo>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QTimer>
#include <memory>

#include "app/display/mdt_text.h"
#include "app/display/raw_data.h"
#include "app/display/raw_data_form.h"
#include "app/profile/status_window.h"
#include "app/ui/about_box.h"
#include "ui_test_support.h"

namespace kestrel {
namespace {

using kestrel_test::DeleteClosedWindows;
using kestrel_test::Find;
using kestrel_test::Shown;

// ---- Raw data ----

class RawDataFormTest : public ::testing::Test {
 protected:
  ~RawDataFormTest() override {
    delete form_.data();
    DeleteClosedWindows();
  }
  template <class T>
  T* Child(const char* name) {
    return Find<T>(form_.data(), name);
  }

  QPointer<RawDataForm> form_ = new RawDataForm;
};

TEST_F(RawDataFormTest, DesignNamesAndCaptions) {
  EXPECT_EQ(form_->objectName(), "RawDataForm");
  EXPECT_EQ(form_->windowTitle(), "Raw Data");
  auto* box = Child<QPlainTextEdit>("RawData");
  EXPECT_EQ(form_->centralWidget(), box);
  EXPECT_TRUE(box->isReadOnly());
  EXPECT_TRUE(QFontInfo(box->font()).fixedPitch());
  auto* view = Child<QMenu>("ViewMenu");
  EXPECT_EQ(view->title(), "&View");
  EXPECT_EQ(form_->menuBar()->actions().value(0), view->menuAction());
  auto* hex = Child<QAction>("DisplayHexMenuItem");
  EXPECT_EQ(hex->text(), "Display &Hex");
  EXPECT_TRUE(hex->isCheckable());
  EXPECT_EQ(Child<QAction>("CloseMenuItem")->text(), "&Close");
  EXPECT_EQ(view->actions().size(), 2);
}

TEST_F(RawDataFormTest, DisplayHexTellsTheOwnerOnlyWhenTheUserSwitchesIt) {
  QSignalSpy toggled(form_.data(), &RawDataForm::HexToggled);
  Child<QAction>("DisplayHexMenuItem")->trigger();
  ASSERT_EQ(toggled.count(), 1);
  EXPECT_TRUE(toggled.at(0).at(0).toBool());
  EXPECT_TRUE(form_->Hex());
  Child<QAction>("DisplayHexMenuItem")->trigger();
  EXPECT_FALSE(toggled.at(1).at(0).toBool());

  form_->SetHex(true);
  EXPECT_TRUE(Child<QAction>("DisplayHexMenuItem")->isChecked());
  EXPECT_EQ(toggled.count(), 2);
}

TEST_F(RawDataFormTest, RecordsAppendAsTheRawDataDumpsThem) {
  RawData raw;
  raw.Attach(&form_->Text());
  raw.Dump("AB\rC");
  EXPECT_EQ(form_->Text().Text(), "\r\nAB.C\r\n");
  QCoreApplication::processEvents();  // the box catches up with the records
  EXPECT_EQ(Shown(Child<QPlainTextEdit>("RawData")), "\nAB.C\n");
  raw.SetHex(true);
  raw.Dump("AB");
  std::string padding;
  for (int i = 0; i < 16; ++i) padding += "00 ";
  QCoreApplication::processEvents();
  EXPECT_EQ(Shown(Child<QPlainTextEdit>("RawData")), "\nAB.C\n\n41 42 " + padding + "   AB\n");
}

TEST_F(RawDataFormTest, EveryWayOfClosingTellsTheOwnerOnce) {
  QSignalSpy closed(form_.data(), &RawDataForm::Closed);
  Child<QAction>("CloseMenuItem")->trigger();
  EXPECT_EQ(closed.count(), 1);
  DeleteClosedWindows();
  EXPECT_TRUE(form_.isNull());

  form_ = new RawDataForm;
  form_->show();
  QSignalSpy closed_again(form_.data(), &RawDataForm::Closed);
  form_->close();  // as the window's own close button does
  EXPECT_EQ(closed_again.count(), 1);
  DeleteClosedWindows();
  EXPECT_TRUE(form_.isNull());
}

// ---- Status ----

TEST(StatusWindowTest, ShowsTheSaveAndItsProgress) {
  StatusWindow status;
  EXPECT_EQ(status.objectName(), "Status");
  EXPECT_FALSE(status.isVisible());
  status.Show("Saving Profile", "Saving settings...", 0);
  EXPECT_TRUE(status.isVisible());
  EXPECT_EQ(status.windowTitle(), "Saving Profile");
  auto* label = Find<QLabel>(&status, "StatusLabel");
  auto* bar = Find<QProgressBar>(&status, "StatusProgress");
  EXPECT_EQ(label->text(), "Saving settings...");
  EXPECT_EQ(bar->minimum(), 0);
  EXPECT_EQ(bar->maximum(), 100);
  EXPECT_EQ(bar->value(), 0);
  status.SetProgress(100);
  EXPECT_EQ(bar->value(), 100);
  status.SetProgress(101);
  EXPECT_EQ(bar->value(), 100);
  status.SetProgress(-1);
  EXPECT_EQ(bar->value(), 0);
  status.Show("Saving Profile", "Saving rules...", 40);
  EXPECT_EQ(label->text(), "Saving rules...");
  EXPECT_EQ(bar->value(), 40);
  status.Close();
  EXPECT_FALSE(status.isVisible());
}

TEST(StatusWindowTest, TimersWaitWhileItComesUp) {
  bool timer_ran = false;
  QTimer timer;
  timer.setSingleShot(true);
  QObject::connect(&timer, &QTimer::timeout, [&timer_ran] { timer_ran = true; });
  timer.start(0);  // due at once: any turn of the event loop would run it
  StatusWindow status;
  status.Show("Saving Profile", "Saving settings...", 0);
  status.SetProgress(50);
  EXPECT_FALSE(timer_ran);
  status.Close();
  QCoreApplication::processEvents();
  EXPECT_TRUE(timer_ran);
}

// ---- About ----

TEST(AboutBoxTest, NamesTheProgramItsPlatformAndVersion) {
  AboutBox about(false);
  EXPECT_EQ(about.objectName(), "About");
  EXPECT_EQ(about.windowTitle(), "About Kestrel");
  EXPECT_TRUE(about.isModal());
#ifdef Q_OS_LINUX
  EXPECT_EQ(PlatformName(), "Linux");
  EXPECT_EQ(Find<QLabel>(&about, "lblTitle")->text(), "Kestrel for Linux");
#endif
  EXPECT_EQ(Find<QLabel>(&about, "lblTitle")->text(), "Kestrel for " + PlatformName());
  EXPECT_EQ(Find<QLabel>(&about, "lblVersion")->text(), "Version " KESTREL_VERSION);
  EXPECT_FALSE(Find<QLabel>(&about, "picIcon")->pixmap().isNull());
  EXPECT_FALSE(about.windowFlags().testFlag(Qt::WindowStaysOnTopHint));
}

TEST(AboutBoxTest, OkClosesIt) {
  AboutBox about(true);
  EXPECT_TRUE(about.windowFlags().testFlag(Qt::WindowStaysOnTopHint));
  auto* ok = Find<QPushButton>(&about, "cmdOK");
  EXPECT_EQ(ok->text(), "OK");
  QTimer::singleShot(0, ok, &QPushButton::click);
  EXPECT_EQ(about.exec(), QDialog::Accepted);
  EXPECT_FALSE(about.isVisible());
}

}  // namespace
}  // namespace kestrel
