#include "app/platform/qt_text_window.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QPlainTextEdit>
#include <QTextBlock>
#include <QTextCursor>
#include <random>
#include <string>

#include "app/display/mdt_text.h"
#include "ui_test_support.h"

namespace kestrel {
namespace {

// What the box should show for bytes: CR LF, lone CR and lone LF each one break.
std::string Display(const std::string& bytes) {
  std::string shown;
  for (size_t i = 0; i < bytes.size(); ++i) {
    if (bytes[i] == '\n' && i > 0 && bytes[i - 1] == '\r') continue;
    shown += bytes[i] == '\r' ? '\n' : bytes[i];
  }
  return shown;
}

class QtTextWindowTest : public ::testing::Test {
 protected:
  // What the box shows once it is up to date.
  std::string Shown() {
    window_.Flush();
    return kestrel_test::Shown(&box_);
  }

  QPlainTextEdit box_;
  QtTextWindow window_{&box_};
};

TEST_F(QtTextWindowTest, KeepsTheBytesAndShowsEveryLineEndAsOneBreak) {
  const std::string text = "ab\r\ncd\ref\ngh\xE9\xFF";
  window_.SetText(text);
  EXPECT_EQ(window_.Text(), text);
  EXPECT_EQ(window_.Length(), text.size());
  EXPECT_EQ(Shown(), "ab\ncd\nef\ngh\xE9\xFF");
  EXPECT_EQ(box_.blockCount(), 4);
  EXPECT_EQ(box_.toPlainText().back(), QChar(0xFF));  // Latin-1, not UTF-8
}

TEST_F(QtTextWindowTest, CrLfSplitAcrossTwoAppendsIsOneBreak) {
  window_.Append("ab\r", kDefaultColour);
  window_.Append("\ncd", kDefaultColour);
  EXPECT_EQ(window_.Text(), "ab\r\ncd");
  EXPECT_EQ(Shown(), "ab\ncd");
  window_.Append("\n", kDefaultColour);  // an LF after a letter is a break of its own
  EXPECT_EQ(Shown(), "ab\ncd\n");
}

TEST_F(QtTextWindowTest, RemoveFrontTakesTheMatchingCharactersOffTheBox) {
  window_.SetText("ab\r\ncd\r\nef");
  window_.RemoveFront(2);  // up to the CR LF
  EXPECT_EQ(window_.Text(), "\r\ncd\r\nef");
  EXPECT_EQ(Shown(), "\ncd\nef");
  window_.RemoveFront(1);  // between CR and LF: the break goes, the LF stays unseen
  EXPECT_EQ(window_.Text(), "\ncd\r\nef");
  EXPECT_EQ(Shown(), "cd\nef");
  window_.RemoveFront(1);  // the unseen LF: nothing more leaves the box
  EXPECT_EQ(window_.Text(), "cd\r\nef");
  EXPECT_EQ(Shown(), "cd\nef");
  window_.RemoveFront(5);  // across a whole CR LF
  EXPECT_EQ(window_.Text(), "f");
  EXPECT_EQ(Shown(), "f");
}

TEST_F(QtTextWindowTest, RemoveFrontOfAllOrMoreEmptiesAndAppendingStartsAfresh) {
  window_.SetText("abc\r");
  window_.RemoveFront(5);
  EXPECT_EQ(window_.Length(), 0u);
  EXPECT_EQ(Shown(), "");
  window_.Append("\nx", kDefaultColour);  // no CR before it any more: a break of its own
  EXPECT_EQ(window_.Text(), "\nx");
  EXPECT_EQ(Shown(), "\nx");
  window_.RemoveFront(0);
  EXPECT_EQ(window_.Text(), "\nx");
}

TEST_F(QtTextWindowTest, InsertionPointAtTheEndAfterSetTextAndAppend) {
  window_.SetText("abc\r\ndef");
  EXPECT_TRUE(box_.textCursor().atEnd());
  box_.moveCursor(QTextCursor::Start);
  window_.Append("gh", kDefaultColour);
  window_.Flush();
  EXPECT_TRUE(box_.textCursor().atEnd());
  window_.MoveCaretToStart();
  EXPECT_EQ(box_.textCursor().position(), 0);
}

TEST_F(QtTextWindowTest, AppendsInTheColourAsked) {
  window_.Append("a", 0x0000FF);
  window_.Append("b", kDefaultColour);
  window_.Append("c", kDefaultColour);
  window_.RemoveFront(1);  // off the text still to come: the runs follow
  window_.Append("d", 0x0000FF);
  EXPECT_EQ(Shown(), "bcd");
  QTextCursor cursor(box_.document());
  cursor.setPosition(2);  // the format of the character before the position
  EXPECT_EQ(cursor.charFormat().foreground().style(), Qt::NoBrush);
  cursor.setPosition(3);
  EXPECT_EQ(cursor.charFormat().foreground().color(), QColor(255, 0, 0));
}

TEST_F(QtTextWindowTest, SelectedTextIsBytesWithCrLf) {
  window_.SetText("ab\r\ncd\xE9\rz");
  box_.selectAll();
  EXPECT_EQ(window_.SelectedText(), "ab\r\ncd\xE9\r\nz");  // a lone CR copies as CR LF
  QTextCursor cursor(box_.document());
  cursor.setPosition(1);
  cursor.setPosition(4, QTextCursor::KeepAnchor);
  box_.setTextCursor(cursor);
  EXPECT_EQ(window_.SelectedText(), "b\r\nc");
  box_.moveCursor(QTextCursor::End);
  EXPECT_EQ(window_.SelectedText(), "");
}

TEST_F(QtTextWindowTest, AddTextKeepsTheLast16000BytesCountingCrLfAsTwo) {
  const std::string line = "0123456789ABCD\r\n";  // 16 bytes, one break on screen
  for (int i = 0; i < 1000; ++i) ASSERT_EQ(AddText(window_, line, 0, 0, 0), 1);
  EXPECT_EQ(window_.Length(), kMaxWindowText);  // exactly the cap: nothing dropped
  window_.Flush();
  EXPECT_EQ(box_.blockCount(), 1001);
  EXPECT_EQ(window_.Text().substr(0, 16), line);

  AddText(window_, "X", 0, 0, 0);  // one past: the first byte goes
  EXPECT_EQ(window_.Length(), kMaxWindowText);
  EXPECT_EQ(window_.Text().substr(0, 15), line.substr(1));
  EXPECT_EQ(Shown(), Display(window_.Text()));

  AddText(window_, std::string(14, 'Y'), 0, 0, 0);  // the cut falls between CR and LF
  EXPECT_EQ(window_.Length(), kMaxWindowText);
  EXPECT_EQ(window_.Text().front(), '\n');
  EXPECT_EQ(Shown(), Display(window_.Text().substr(1)));
}

// Random appends and removals in small pieces, CR and LF often, the box brought up to date now and
// then, against what the whole text seen so far says the box keeps.
TEST_F(QtTextWindowTest, BoxAlwaysShowsWhatIsLeftOfTheText) {
  std::mt19937 random(20240611);
  const std::string alphabet = "\r\n\r\nab\xE9";
  std::string all;
  size_t removed = 0;
  for (int step = 0; step < 3000; ++step) {
    if (random() % 3 == 0) {
      const size_t count = random() % 7;
      window_.RemoveFront(count);
      removed = std::min(all.size(), removed + count);
    } else {
      std::string piece(random() % 6, ' ');
      for (char& c : piece) c = alphabet[random() % alphabet.size()];
      window_.Append(piece, kDefaultColour);
      all += piece;
    }
    ASSERT_EQ(window_.Text(), all.substr(removed)) << "step " << step;
    if (random() % 4 != 0) continue;  // several changes wait for the box now and then
    ASSERT_EQ(Shown(), Display(all).substr(Display(all.substr(0, removed)).size()))
        << "step " << step;
  }
}

TEST_F(QtTextWindowTest, ChangesReachTheBoxTogetherAtTheNextTurnOfTheEventLoop) {
  window_.SetText("shown at once");
  EXPECT_EQ(box_.toPlainText(), "shown at once");
  window_.RemoveFront(8);
  window_.Append(" and later\r\n", kDefaultColour);
  EXPECT_EQ(box_.toPlainText(), "shown at once");
  EXPECT_EQ(window_.Text(), " once and later\r\n");
  QCoreApplication::processEvents();
  EXPECT_EQ(box_.toPlainText(), " once and later\n");
  EXPECT_TRUE(box_.textCursor().atEnd());

  window_.Append("dropped", kDefaultColour);
  window_.SetText("new");  // replaces what was still to come
  QCoreApplication::processEvents();
  EXPECT_EQ(box_.toPlainText(), "new");
}

TEST_F(QtTextWindowTest, RemovalBeyondTheBoxEatsIntoTheTextToCome) {
  window_.SetText("abc");
  window_.Append("defgh", kDefaultColour);
  window_.RemoveFront(5);  // all three in the box and two still to come
  EXPECT_EQ(window_.Text(), "fgh");
  EXPECT_EQ(Shown(), "fgh");
}

TEST(QtTextWindowLifetimeTest, BoxDeletedFirstLeavesTheTextKept) {
  auto* box = new QPlainTextEdit;
  QtTextWindow window(box);
  window.SetText("abc");
  delete box;
  window.Append("de", kDefaultColour);
  window.RemoveFront(1);
  EXPECT_EQ(window.Text(), "bcde");
  EXPECT_EQ(window.SelectedText(), "");
  EXPECT_EQ(window.Box(), nullptr);
}

TEST(QtTextWindowLifetimeTest, TakesTheBoxOverEmptyAndWithoutUndo) {
  QPlainTextEdit box("left over");
  QtTextWindow window(&box);
  EXPECT_EQ(box.toPlainText(), "");
  EXPECT_EQ(window.Length(), 0u);
  EXPECT_FALSE(box.isUndoRedoEnabled());
}

}  // namespace
}  // namespace kestrel
