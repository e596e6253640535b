#include "app/rules/alert_window.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QFontMetricsF>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QSignalSpy>
#include <QTextCursor>
#include <chrono>
#include <ctime>
#include <memory>
#include <optional>
#include <vector>

#include "app/display/messages_list.h"
#include "app/mail/email_class.h"
#include "app/platform/clock.h"
#include "app/profile/report_error.h"
#include "app/rules/alert_presenter.h"
#include "app/rules/rules_class.h"
#include "app/traffic/messages_class.h"
#include "app/ui/window_geometry.h"
#include "support/records.h"
#include "ui_test_support.h"

namespace kestrel {
namespace {

using kestrel_test::DeleteClosedWindows;
using kestrel_test::Find;
using kestrel_test::Shown;

class AlertWindowTest : public ::testing::Test {
 protected:
  AlertWindowTest() {
    aliases_.Assign("1234", "Unit 7");
    for (const char* text : {"EARLIER", "LATEST"}) {
      const std::string record = kestrel_test::Stored(0x1234, true, text);
      traffic_.Add(GetTerminalAddress(record, settings_), "", record);
    }
  }
  ~AlertWindowTest() override {
    presenter_.reset();
    DeleteClosedWindows();
  }

  static AlertContent Content() {
    AlertContent content;
    content.caption = "Stolen Vehicle";
    content.terminal = "1234 (Unit 7)";
    content.received = "12:34:56";
    content.text = "PLATE ABC123\r\nBLUE SEDAN";
    content.traffic_button = "To 1234";
    return content;
  }
  AlertWindow* Window() { return presenter_->Window(); }
  template <class T>
  T* Child(const char* name) {
    return Find<T>(Window(), name);
  }
  // Lets a resize of the shown window arrive, as the window system delivers it.
  static void Settle() { QCoreApplication::processEvents(); }

  Settings settings_;
  TerminalAliases aliases_;
  TrafficClass traffic_{settings_, aliases_};
  std::unique_ptr<AlertPresenter> presenter_ =
      std::make_unique<AlertPresenter>(settings_, traffic_, aliases_);
};

TEST_F(AlertWindowTest, NoWindowUntilTheFirstAlert) {
  EXPECT_EQ(Window(), nullptr);
  presenter_->SetReceived("01:02:03");
  presenter_->SetMessageText("lost");
  presenter_->CloseWindow();
  EXPECT_EQ(Window(), nullptr);
}

TEST_F(AlertWindowTest, ShowAlertFillsShowsAndFocusesTheWindow) {
  AlertContent content = Content();
  content.background = 0x00FFFF;  // yellow
  presenter_->ShowAlert(content);
  ASSERT_NE(Window(), nullptr);
  EXPECT_TRUE(Window()->isVisible());
  EXPECT_EQ(Window()->objectName(), "Alert");
  EXPECT_EQ(Window()->windowTitle(), "Stolen Vehicle");
  EXPECT_EQ(Child<QLabel>("Terminal")->text(), "1234 (Unit 7)");
  EXPECT_EQ(Child<QLabel>("Received")->text(), "12:34:56");
  EXPECT_EQ(Child<QLabel>("ReceivedLabel")->text(), "Received:");
  EXPECT_EQ(Child<QLabel>("TerminalLabel")->text(), "To:");
  EXPECT_EQ(Child<QPushButton>("TrafficButton")->text(), "To 1234");
  EXPECT_EQ(Child<QPushButton>("MoveButton")->text(), "Move To Details Window");
  EXPECT_EQ(Child<QPushButton>("CloseButton")->text(), "Close");
  auto* message = Child<QPlainTextEdit>("Message");
  EXPECT_EQ(Shown(message), "PLATE ABC123\nBLUE SEDAN");
  EXPECT_EQ(message->textCursor().position(), 0);
  EXPECT_EQ(Window()->focusWidget(), message);
  EXPECT_EQ(message->palette().color(QPalette::Base), QColor(255, 255, 0));
  EXPECT_EQ(message->palette().color(QPalette::Text), QColor(0, 255, 0));  // the MDT's green

  // The next alert replaces everything, colours included, in the same window.
  AlertWindow* first = Window();
  content = Content();
  content.caption = "Second";
  content.foreground = 0xFF0000;  // blue
  presenter_->ShowAlert(content);
  EXPECT_EQ(Window(), first);
  EXPECT_EQ(Window()->windowTitle(), "Second");
  EXPECT_EQ(message->palette().color(QPalette::Base), QColor(0, 0, 0));  // the MDT's black
  EXPECT_EQ(message->palette().color(QPalette::Text), QColor(0, 0, 255));
}

TEST_F(AlertWindowTest, ContinuationsUpdateTheOpenWindowOnly) {
  presenter_->ShowAlert(Content());
  presenter_->SetReceived("12:35:00");
  presenter_->SetMessageText("PLATE ABC123\r\nBLUE SEDAN\r\nHEADING NORTH");
  EXPECT_EQ(Child<QLabel>("Received")->text(), "12:35:00");
  EXPECT_EQ(Shown(Child<QPlainTextEdit>("Message")), "PLATE ABC123\nBLUE SEDAN\nHEADING NORTH");
  EXPECT_EQ(Window()->windowTitle(), "Stolen Vehicle");
}

TEST_F(AlertWindowTest, TrafficButtonShowsTheHistoryUnderTheAlias) {
  presenter_->ShowAlert(Content());
  Child<QPushButton>("TrafficButton")->click();
  EXPECT_EQ(Window()->windowTitle(), "Traffic to 1234 (Unit 7)");
  auto* message = Child<QPlainTextEdit>("Message");
  EXPECT_EQ(message->toPlainText(),
            QString::fromLatin1(traffic_.Retrieve("1234").c_str()).replace("\r\n", "\n"));
  EXPECT_NE(Shown(message).find("LATEST"), std::string::npos);
  EXPECT_TRUE(message->textCursor().atEnd());
  EXPECT_EQ(Child<QLabel>("Received")->text(), "");
  EXPECT_EQ(Child<QLabel>("Terminal")->text(), "1234 (Unit 7)");

  AlertContent content = Content();
  content.terminal = "1234";  // no blank: the whole label is the number
  aliases_.Remove("1234");
  presenter_->ShowAlert(content);
  Child<QPushButton>("TrafficButton")->click();
  EXPECT_EQ(Window()->windowTitle(), "Traffic to 1234");
  EXPECT_NE(Shown(message).find("EARLIER"), std::string::npos);
}

TEST_F(AlertWindowTest, MoveToDetailsHandsOverAndCloses) {
  presenter_->ShowAlert(Content());
  std::vector<MessageDetailsContent> moved;
  int closed = 0;
  QObject::connect(presenter_.get(), &AlertPresenter::MoveToDetails,
                   [&](const MessageDetailsContent& content) { moved.push_back(content); });
  QObject::connect(presenter_.get(), &AlertPresenter::Closed, [&] {
    EXPECT_EQ(moved.size(), 1u);  // the details are taken before the window goes
    ++closed;
  });
  QPointer<AlertWindow> window = Window();
  Child<QPushButton>("MoveButton")->click();
  ASSERT_EQ(moved.size(), 1u);
  EXPECT_EQ(moved[0].caption, "Stolen Vehicle");
  EXPECT_EQ(moved[0].type, "Stolen Vehicle");
  EXPECT_EQ(moved[0].received, "12:34:56");
  EXPECT_EQ(moved[0].terminal, "1234 (Unit 7)");
  EXPECT_EQ(moved[0].traffic_button, "To 1234");
  EXPECT_EQ(moved[0].text, "PLATE ABC123\r\nBLUE SEDAN");
  EXPECT_EQ(closed, 1);
  DeleteClosedWindows();
  EXPECT_TRUE(window.isNull());
  EXPECT_EQ(Window(), nullptr);
}

TEST_F(AlertWindowTest, MoveAfterTrafficCarriesTheTrafficCaption) {
  presenter_->ShowAlert(Content());
  Child<QPushButton>("TrafficButton")->click();
  std::optional<MessageDetailsContent> moved;
  QObject::connect(presenter_.get(), &AlertPresenter::MoveToDetails,
                   [&](const MessageDetailsContent& content) { moved = content; });
  Child<QPushButton>("MoveButton")->click();
  ASSERT_TRUE(moved);
  EXPECT_EQ(moved->caption, "Traffic to 1234 (Unit 7)");
  EXPECT_EQ(moved->type, "Traffic to 1234 (Unit 7)");
  EXPECT_EQ(moved->received, "");
  EXPECT_EQ(moved->text, traffic_.Retrieve("1234"));
}

TEST_F(AlertWindowTest, ClosingStoresTheGeometryAndTheNextAlertRestoresIt) {
  presenter_->ShowAlert(Content());
  Window()->move(150, 100);
  Window()->resize(Window()->width(), 300);
  Settle();
  QSignalSpy closed(presenter_.get(), &AlertPresenter::Closed);
  Child<QPushButton>("CloseButton")->click();
  EXPECT_EQ(closed.count(), 1);
  DeleteClosedWindows();
  EXPECT_EQ(Window(), nullptr);
  EXPECT_EQ(settings_.AlertLeft, 150 * 15);  // 96 dpi offscreen: 15 twips a pixel
  EXPECT_EQ(settings_.AlertTop, 100 * 15);
  EXPECT_EQ(settings_.AlertHeight, 300 * 15 + 400);

  presenter_->ShowAlert(Content());
  Settle();
  ASSERT_NE(Window(), nullptr);
  EXPECT_EQ(Window()->pos(), QPoint(150, 100));
  EXPECT_EQ(Window()->height(), 300);
}

TEST_F(AlertWindowTest, TextBoxIsOneMdtLineWideAndTheWindowFollowsMdtColumns) {
  presenter_->ShowAlert(Content());
  Settle();
  auto* message = Child<QPlainTextEdit>("Message");
  const double glyph = ToTwips(*Window(), QFontMetricsF(message->font()).horizontalAdvance('i'));
  const double left = ToTwips(*Window(), message->x());
  EXPECT_EQ(message->width(), ToPixels(*Window(), glyph * 40 + 450));
  // At 40 columns the buttons may be the wider part; the window holds the box either way.
  EXPECT_GE(Window()->width(), message->x() * 2 + message->width());
  const int width_at_40 = Window()->width();

  presenter_->CloseWindow();
  DeleteClosedWindows();
  settings_.MDTColumns = 80;
  presenter_->ShowAlert(Content());
  Settle();
  message = Child<QPlainTextEdit>("Message");
  EXPECT_EQ(message->width(), ToPixels(*Window(), glyph * 80 + 450));
  EXPECT_EQ(Window()->width(), ToPixels(*Window(), glyph * 80 + 450 + 2 * left));
  EXPECT_GT(Window()->width(), width_at_40);

  presenter_->CloseWindow();
  DeleteClosedWindows();
  settings_.MDTColumns = kMaxMDTColumns;
  presenter_->ShowAlert(Content());
  Settle();
  EXPECT_LE(Window()->width(), Window()->screen()->availableGeometry().width());
}

TEST_F(AlertWindowTest, ButtonsSitCentredUnderTheTextInTheirOrder) {
  presenter_->ShowAlert(Content());
  Settle();
  auto* message = Child<QPlainTextEdit>("Message");
  const QRect close = Child<QPushButton>("CloseButton")->geometry();
  const QRect traffic = Child<QPushButton>("TrafficButton")->geometry();
  const QRect move = Child<QPushButton>("MoveButton")->geometry();
  EXPECT_LT(close.right(), traffic.left());
  EXPECT_LT(traffic.right(), move.left());
  EXPECT_GT(close.top(), message->geometry().bottom());
  EXPECT_EQ(close.top(), traffic.top());
  EXPECT_LE(move.right(), Window()->width());
  EXPECT_LE(std::abs((close.left() + move.right()) - (message->x() * 2 + message->width())), 2);
  const QRect received = Child<QLabel>("Received")->geometry();
  EXPECT_LE(received.right(), Window()->width());
  EXPECT_LT(Child<QLabel>("ReceivedLabel")->geometry().right(), received.left());
  EXPECT_LT(Child<QLabel>("Terminal")->geometry().right(),
            Child<QLabel>("ReceivedLabel")->geometry().left());
}

TEST_F(AlertWindowTest, TooShortWindowKeepsTheLastTextHeight) {
  presenter_->ShowAlert(Content());
  Settle();
  auto* message = Child<QPlainTextEdit>("Message");
  const int height = message->height();
  ASSERT_GT(height, 0);
  Window()->resize(Window()->width(), 40);  // under the text's top + 900 twips
  Settle();
  ASSERT_EQ(Window()->height(), 40);
  EXPECT_EQ(message->height(), height);
  Window()->resize(Window()->width(), 400);
  Settle();
  EXPECT_GT(message->height(), height);
}

TEST_F(AlertWindowTest, AlwaysOnTopAppliesAtLoad) {
  settings_.AlwaysOnTop = true;
  presenter_->ShowAlert(Content());
  EXPECT_TRUE(Window()->windowFlags().testFlag(Qt::WindowStaysOnTopHint));
  EXPECT_TRUE(Window()->isVisible());
}

TEST_F(AlertWindowTest, PresenterGoingFirstTakesTheWindowWithoutAClose) {
  presenter_->ShowAlert(Content());
  QPointer<AlertWindow> window = Window();
  QSignalSpy closed(presenter_.get(), &AlertPresenter::Closed);
  presenter_.reset();
  EXPECT_TRUE(window.isNull());
  EXPECT_EQ(closed.count(), 0);
}

TEST_F(AlertWindowTest, WindowOfADeletedParentIsForgotten) {
  auto* parent = new QWidget;
  presenter_ = std::make_unique<AlertPresenter>(settings_, traffic_, aliases_, parent);
  presenter_->ShowAlert(Content());
  EXPECT_EQ(Window()->parentWidget(), parent);
  EXPECT_TRUE(Window()->isWindow());
  delete parent;
  EXPECT_EQ(Window(), nullptr);
  presenter_->SetMessageText("no window to reach");
  presenter_->ShowAlert(Content());  // a new one, without the parent
  ASSERT_NE(Window(), nullptr);
  EXPECT_EQ(Window()->parentWidget(), nullptr);
}

// Rule processing through the presenter, as the main window wires them.
class AlertRulesTest : public AlertWindowTest {
 protected:
  AlertRulesTest() {
    settings_.SieveSource = kSieveSourceNetwork;
    std::tm time{};
    time.tm_year = 2024 - 1900;
    time.tm_mday = 2;
    time.tm_hour = 9;
    time.tm_min = 15;
    time.tm_sec = 30;
    time.tm_isdst = -1;
    clock_.Set(std::chrono::system_clock::from_time_t(std::mktime(&time)));
    EXPECT_TRUE(rules_.Add("Everything"));
    Rule& rule = *rules_.Current();
    rule.Active = true;
    rule.Alert = true;
    rule.LogMessages = true;  // a continuation reaches the rules through its Messages row
    rule.LogMessageType = "Everything";
    rule.LogMessageTo = 1;
    rule.AlertBackgroundColor = rule.AlertForegroundColor = rule.LogMessageColor = -1;
    QObject::connect(presenter_.get(), &AlertPresenter::Closed,
                     [this] { processing_.AlertClosed(); });
  }
  // As traffic processing hands a message on: a continuation with the Messages row it has.
  void Receive(bool tx, const std::string& text) {
    const std::string record = kestrel_test::Stored(0x1234, tx, text);
    const std::string address = GetTerminalAddress(record, settings_);
    traffic_.Add(address, aliases_.Alias(address), record);
    if (!traffic_.Continuation()) {
      row_ = processing_.Process(record, std::nullopt);
      return;
    }
    const std::string message = traffic_.RetrieveLast(address);
    messages_.Update(*row_, message);
    row_ = processing_.Process(message, row_);
  }

  struct QuietSound : SoundOutput {
    void PlaySound(const std::string&) override {}
    void Beep() override {}
  };
  RecordingMessageBoxes boxes_;
  ErrorReporter errors_{settings_, boxes_};
  RulesClass rules_{errors_};
  MessagesClass messages_;
  MessagesList list_;
  ManualClock clock_;
  EMailClass email_{clock_};
  QuietSound sound_;
  std::optional<int32_t> row_;
  RuleProcessing processing_{RuleServices{settings_, rules_, aliases_, traffic_, messages_, list_,
                                          *presenter_, email_, sound_, nullptr, clock_, errors_}};
};

TEST_F(AlertRulesTest, AlertGrowsWithItsMessageAndClosingEndsIt) {
  Receive(true, "FIRST PART");
  ASSERT_NE(Window(), nullptr);
  EXPECT_TRUE(processing_.AlertShown());
  EXPECT_EQ(Window()->windowTitle(), "Everything");
  EXPECT_EQ(Child<QLabel>("Terminal")->text(), "1234 (Unit 7)");
  Child<QPushButton>("TrafficButton")->click();  // the traffic view still gets the news
  Receive(false, " SECOND PART");
  EXPECT_EQ(Shown(Child<QPlainTextEdit>("Message")), "FIRST PART SECOND PART");
  EXPECT_EQ(Child<QLabel>("Received")->text(), "09:15:30");  // the clock's time of day

  Child<QPushButton>("CloseButton")->click();
  EXPECT_FALSE(processing_.AlertShown());
  DeleteClosedWindows();
  Receive(false, " THIRD PART");  // a continuation of a closed alert opens nothing
  EXPECT_EQ(Window(), nullptr);
}

}  // namespace
}  // namespace kestrel
