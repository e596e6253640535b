#include "app/display/message_details_window.h"

#include <gtest/gtest.h>

#include <QFontMetricsF>
#include <QLabel>
#include <QLayout>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QSignalSpy>
#include <QTextCursor>

#include "app/traffic/terminal_aliases.h"
#include "app/ui/mdt_font.h"
#include "app/ui/window_geometry.h"
#include "support/records.h"
#include "ui_test_support.h"

namespace kestrel {
namespace {

using kestrel_test::DeleteClosedWindows;
using kestrel_test::Find;
using kestrel_test::Shown;

class MessageDetailsWindowTest : public ::testing::Test {
 protected:
  MessageDetailsWindowTest() {
    for (const char* text : {"FIRST\rLINE", "SECOND"}) {
      const std::string record = kestrel_test::Stored(0x1234, true, text);
      traffic_.Add(GetTerminalAddress(record, settings_), "", record);
    }
  }
  ~MessageDetailsWindowTest() override {
    delete window_.data();
    DeleteClosedWindows();
  }

  MessageDetailsWindow& Open() {
    window_ = new MessageDetailsWindow(settings_, traffic_);
    return *window_;
  }
  static MessageDetailsContent Content() {
    return {"Message Details", "Dispatch", "12:34:56",
            "1234 (Unit 7)",   "To 1234",  "LINE ONE\r\nLINE TWO\r\n"};
  }
  template <class T>
  T* Child(const char* name) {
    return Find<T>(window_.data(), name);
  }
  // Lays the window out now, as the next turn of the event loop would.
  void Settle() { window_->layout()->activate(); }

  Settings settings_;
  TerminalAliases aliases_;
  TrafficClass traffic_{settings_, aliases_};
  QPointer<MessageDetailsWindow> window_;
};

TEST_F(MessageDetailsWindowTest, ShowDetailsFillsTheWindowWithTheCaretAtTheStart) {
  Open();
  EXPECT_EQ(window_->objectName(), "MessageDetails");
  EXPECT_EQ(Child<QLabel>("ReceivedLabel")->text(), "Received:");
  EXPECT_EQ(Child<QPushButton>("PreviousButton")->text(), "Previous");
  EXPECT_EQ(Child<QPushButton>("NextButton")->text(), "Next");
  EXPECT_EQ(Child<QPushButton>("CloseButton")->text(), "Close");
  EXPECT_TRUE(Child<QPlainTextEdit>("Message")->isReadOnly());

  window_->ShowDetails(Content());
  EXPECT_TRUE(window_->isVisible());
  EXPECT_EQ(window_->windowTitle(), "Message Details");
  EXPECT_EQ(Child<QLabel>("MessageType")->text(), "Dispatch");
  EXPECT_EQ(Child<QLabel>("Received")->text(), "12:34:56");
  EXPECT_EQ(Child<QLabel>("Terminal")->text(), "1234 (Unit 7)");
  EXPECT_EQ(Child<QPushButton>("TrafficButton")->text(), "To 1234");
  auto* message = Child<QPlainTextEdit>("Message");
  EXPECT_EQ(Shown(message), "LINE ONE\nLINE TWO\n");
  EXPECT_EQ(message->textCursor().position(), 0);
  EXPECT_EQ(window_->focusWidget(), message);
}

TEST_F(MessageDetailsWindowTest, TextBoxHasTheMdtLook) {
  settings_.MDTForeground = 0x0000FF;
  settings_.MDTBackground = 0xFFFFFF;
  settings_.MDTFontSize = 11;
  auto* message = Find<QPlainTextEdit>(&Open(), "Message");
  EXPECT_EQ(message->palette().color(QPalette::Text), QColor(255, 0, 0));
  EXPECT_EQ(message->palette().color(QPalette::Base), QColor(255, 255, 255));
  EXPECT_EQ(message->font(), MdtFont(settings_));
}

TEST_F(MessageDetailsWindowTest, TrafficButtonShowsTheHistoryInTheFreedRoom) {
  Open().ShowDetails(Content());
  Settle();
  auto* message = Child<QPlainTextEdit>("Message");
  auto* terminal_label = Child<QLabel>("TerminalLabel");
  auto* type_label = Child<QLabel>("TypeLabel");
  const QRect before = message->geometry();
  EXPECT_GT(before.top(), type_label->geometry().top());
  EXPECT_EQ(before.top() - type_label->geometry().top(), ToPixels(*window_, 300));

  Child<QPushButton>("TrafficButton")->click();
  Settle();
  EXPECT_EQ(message->toPlainText(), QString::fromLatin1(traffic_.Retrieve("1234").c_str())
                                        .replace("\r\n", "\n")
                                        .replace('\r', '\n'));
  EXPECT_NE(Shown(message).find("FIRST\nLINE"), std::string::npos);
  EXPECT_TRUE(message->textCursor().atEnd());
  EXPECT_EQ(Child<QLabel>("MessageType")->text(), "");
  for (const char* name : {"Received", "ReceivedLabel", "TypeLabel", "MessageType"}) {
    EXPECT_TRUE(Child<QLabel>(name)->isHidden()) << name;
  }
  EXPECT_TRUE(terminal_label->isVisible());
  const QRect after = message->geometry();
  EXPECT_EQ(after.top(), terminal_label->geometry().bottom() + 1 + ToPixels(*window_, 50));
  EXPECT_EQ(after.bottom(), before.bottom());
  EXPECT_EQ(after.height(), before.height() + before.top() - after.top());

  // The next message puts everything back.
  window_->ShowDetails(Content());
  Settle();
  for (const char* name : {"Received", "ReceivedLabel", "TypeLabel", "MessageType"}) {
    EXPECT_FALSE(Child<QLabel>(name)->isHidden()) << name;
  }
  EXPECT_EQ(message->geometry(), before);
}

TEST_F(MessageDetailsWindowTest, TrafficOfATerminalWithoutAliasOrHistory) {
  MessageDetailsContent content = Content();
  content.terminal = "1234";  // no blank: the whole label is the terminal
  Open().ShowDetails(content);
  Child<QPushButton>("TrafficButton")->click();
  EXPECT_NE(Shown(Child<QPlainTextEdit>("Message")).find("SECOND"), std::string::npos);

  content.terminal = "9999 (Nobody)";
  window_->ShowDetails(content);
  Child<QPushButton>("TrafficButton")->click();
  EXPECT_EQ(Shown(Child<QPlainTextEdit>("Message")), "");
}

TEST_F(MessageDetailsWindowTest, PreviousAndNextAskTheOwner) {
  Open().ShowDetails(Content());
  QSignalSpy previous(window_.data(), &MessageDetailsWindow::PreviousClicked);
  QSignalSpy next(window_.data(), &MessageDetailsWindow::NextClicked);
  Child<QPushButton>("PreviousButton")->click();
  EXPECT_EQ(previous.count(), 1);
  EXPECT_EQ(next.count(), 0);
  Child<QPushButton>("NextButton")->click();
  EXPECT_EQ(next.count(), 1);

  window_->SetNavigationEnabled(false);
  EXPECT_FALSE(Child<QPushButton>("PreviousButton")->isEnabled());
  EXPECT_FALSE(Child<QPushButton>("NextButton")->isEnabled());
  Child<QPushButton>("PreviousButton")->click();
  Child<QPushButton>("NextButton")->click();
  EXPECT_EQ(previous.count(), 1);
  EXPECT_EQ(next.count(), 1);
  window_->SetNavigationEnabled(true);
  EXPECT_TRUE(Child<QPushButton>("NextButton")->isEnabled());
}

TEST_F(MessageDetailsWindowTest, CloseStoresTheGeometryAndReopeningRestoresIt) {
  Open().ShowDetails(Content());
  window_->move(150, 100);
  window_->resize(window_->width(), 420);
  QSignalSpy closed(window_.data(), &MessageDetailsWindow::Closed);
  Child<QPushButton>("CloseButton")->click();
  EXPECT_EQ(closed.count(), 1);
  DeleteClosedWindows();
  EXPECT_TRUE(window_.isNull());
  // 96 dpi offscreen: 15 twips a pixel; the height is the whole window's.
  EXPECT_EQ(settings_.MessageDetailsLeft, 150 * 15);
  EXPECT_EQ(settings_.MessageDetailsTop, 100 * 15);
  EXPECT_EQ(settings_.MessageDetailsHeight, 420 * 15 + 400);

  Open().ShowDetails(Content());
  EXPECT_EQ(window_->pos(), QPoint(150, 100));
  EXPECT_EQ(window_->height(), 420);
}

TEST_F(MessageDetailsWindowTest, SavedHeightOfZeroKeepsTheDesignGeometry) {
  const QRect design = Open().geometry();
  delete window_.data();
  settings_.MessageDetailsTop = 1500;
  settings_.MessageDetailsLeft = 2250;
  settings_.MessageDetailsHeight = 0;
  EXPECT_EQ(Open().geometry(), design);
  delete window_.data();
  settings_.MessageDetailsHeight = 1;  // the smallest height that counts
  EXPECT_EQ(Open().pos(), QPoint(150, 100));
}

TEST_F(MessageDetailsWindowTest, PositionOnNoScreenIsNotRestored) {
  const QPoint design = Open().pos();
  delete window_.data();
  settings_.MessageDetailsTop = -200000;
  settings_.MessageDetailsLeft = -200000;
  settings_.MessageDetailsHeight = 6000;
  Open();
  EXPECT_EQ(window_->pos(), design);
  EXPECT_EQ(window_->height(), (6000 - 400) / 15);
}

TEST_F(MessageDetailsWindowTest, OneLineOfTheMdtFitsTheDesignWidth) {
  settings_.MDTColumns = 100;  // within the 800-pixel offscreen screen
  Open();
  Settle();
  const double glyph =
      QFontMetricsF(Child<QPlainTextEdit>("Message")->font()).horizontalAdvance('i');
  EXPECT_GE(Child<QPlainTextEdit>("Message")->width(), int(glyph * 100));
}

TEST_F(MessageDetailsWindowTest, WidestMdtStillFitsTheScreen) {
  settings_.MDTColumns = kMaxMDTColumns;
  const int width = Open().width();
  EXPECT_LE(width, window_->screen()->availableGeometry().width());
}

}  // namespace
}  // namespace kestrel
