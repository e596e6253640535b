#include "app/display/mdt_text.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

namespace kestrel {
namespace {

// ESC "[" followed by the sequence's parameters and final letter.
std::string Esc(std::string_view rest) { return "\x1b[" + std::string(rest); }

TEST(FormatDataTest, RepeatsTheCharacterBeforeTheSequence) {
  EXPECT_EQ(FormatData("A" + Esc("3b") + "X"), "AAAAX");
  EXPECT_EQ(FormatData(Esc("3b") + "X"), "X");
  EXPECT_EQ(FormatData("A" + Esc("0b") + "X"), "AX");
  // Leading-number parse: what follows the number is ignored, no number reads as 0.
  EXPECT_EQ(FormatData("A" + Esc("2;9b") + "X"), "AAAX");
  EXPECT_EQ(FormatData("A" + Esc(";b") + "X"), "AX");
  EXPECT_EQ(FormatData("A" + Esc("-4b") + "X"), "AX");
  // Beyond 16 bits the repeat is not expanded, and removal takes the sequence away.
  EXPECT_EQ(FormatData("A" + Esc("32767b")), "A" + std::string(32767, 'A'));
  EXPECT_EQ(FormatData("A" + Esc("40000b") + "X"), "AX");
  // Six digits make no sequence at all: it stays, its ESC shown as ".".
  EXPECT_EQ(FormatData("A" + Esc("123456b") + "X"), "A.[123456bX");
}

TEST(FormatDataTest, RepeatSkipsSequencesToFindItsCharacter) {
  EXPECT_EQ(FormatData("A" + Esc("1m") + Esc("3b")), "AAAA");
  EXPECT_EQ(FormatData("A" + Esc("2b") + Esc("2b")), "AAAAA");
  // Nothing but sequences before it: removed, as at the start of a body.
  EXPECT_EQ(FormatData(Esc("1m") + Esc("3b") + "X"), "X");
}

TEST(ExpandRepeatingCharacterTest, DoesNotScanWhatItInserted) {
  std::string text = "\x1b" + Esc("2b") + "[2b";
  ExpandRepeatingCharacter(text);
  EXPECT_EQ(text, "\x1b\x1b\x1b[2b");
}

TEST(FormatDataTest, RemovesWholeSequencesOnly) {
  EXPECT_EQ(FormatData("A" + Esc("2;5H") + "B" + Esc("0m") + "C"), "ABC");
  for (std::string_view letter : {"o", "h", "l"}) {
    EXPECT_EQ(FormatData("A" + Esc("7") + std::string(letter) + "B"), "AB") << letter;
  }
  // Nothing after a sequence's final letter is taken with it.
  EXPECT_EQ(FormatData(Esc("0m") + "HELLO"), "HELLO");
  EXPECT_EQ(FormatData(Esc("1m") + "hello" + Esc("2H") + "bold"), "hellobold");
  // Letters are case-sensitive, other letters are left, and six parameters make no sequence.
  EXPECT_EQ(FormatData(Esc("2J") + Esc("1M")), ".[2J.[1M");
  EXPECT_EQ(FormatData(Esc("1;2;3m") + "A" + Esc("1;2;34m")), "A.[1;2;34m");
  EXPECT_EQ(FormatData("A\x1b["), "A.[");
}

TEST(FormatDataTest, ControlCharacters) {
  EXPECT_EQ(FormatData("A\x0c"
                       "B\x1e"
                       "C"),
            "ABC");
  EXPECT_EQ(FormatData("one\rtwo\nthree\x01"), "one\r\ntwo.three.");
  EXPECT_EQ(FormatData("\x7f\xe9"), "\x7f\xe9");
}

TEST(RemoveSingleEscapeSequencesTest, ActsOnItsOwnLetterOnly) {
  EXPECT_EQ(RemoveSingleEscapeSequences('m', "a" + Esc("0H") + "m"), "a" + Esc("0H") + "m");
  EXPECT_EQ(RemoveSingleEscapeSequences('H', "a" + Esc("0H") + "m"), "am");
  // A sequence holding another ESC "[" ends at the first letter after the outer one.
  EXPECT_EQ(RemoveSingleEscapeSequences('m', "a" + Esc("\x1b[1m") + "b"), "ab");
}

TEST(ReplaceTextTest, ReplacesEveryOccurrenceOnce) {
  EXPECT_EQ(ReplaceText("a-b-c", "-", "+"), "a+b+c");
  EXPECT_EQ(ReplaceText("aXa", "a", "aa"), "aaXaa");
  EXPECT_EQ(ReplaceText("aaaa", "aa", "b"), "bb");
  EXPECT_EQ(ReplaceText("text", "", "x"), "text");
}

TEST(WrapLinesTest, BreaksLongLines) {
  const std::string a(40, 'a'), b(40, 'b'), c(10, 'c');
  EXPECT_EQ(WrapLines(a + b + c, 40), a + "\r\n" + b + "\r\n" + c);
  EXPECT_EQ(WrapLines("x\r\n" + a + "d", 40), "x\r\n" + a + "\r\nd");
  EXPECT_EQ(WrapLines(a + "\r\n\r\n" + a, 40), a + "\r\n\r\n" + a);
  EXPECT_EQ(WrapLines("", 40), "");
  EXPECT_EQ(WrapLines("abc\r\n", 2), "ab\r\nc\r\n");
  // A width below one wraps at one instead of never ending.
  EXPECT_EQ(WrapLines("abc", 0), "a\r\nb\r\nc");
}

class ColourWindow : public PlainTextWindow {
 public:
  void Append(std::string_view text, Colour colour) override {
    colours.push_back(colour);
    PlainTextWindow::Append(text, colour);
  }
  std::vector<Colour> colours;
};

TEST(AddTextTest, KeepsTheWindowToItsCap) {
  ColourWindow window;
  const std::string old_text = "0123456789" + std::string(kMaxWindowText - 60, 'o');
  window.SetText(old_text);
  const std::string added(100, 'n');
  EXPECT_EQ(AddText(window, added, 0, 0, 0), 1);
  EXPECT_EQ(window.Text(), old_text.substr(50) + added);

  const std::string huge = "head" + std::string(kMaxWindowText, 'h');
  EXPECT_EQ(AddText(window, huge, 0, 0, 0), 1);
  EXPECT_EQ(window.Text(), huge.substr(4));
}

TEST(AddTextTest, Colours) {
  ColourWindow window;
  AddText(window, "a", 0, 0, 0);
  AddText(window, "b", 0x12, 0x34, 0x56);
  AddText(window, "c", 300, 0, 0);
  EXPECT_EQ(window.colours, (std::vector<Colour>{kDefaultColour, 0x563412, 0xFF}));
  EXPECT_EQ(AddText(window, "d", -1, 5, 0), 0);
  EXPECT_EQ(window.Text(), "abc");
}

// Any bytes give text whose only control characters are CR LF pairs, and repeats cannot
// blow a body up beyond a bounded size. Large enough that a quadratic pass would not finish.
TEST(FormatDataTest, ArbitraryBytesStayBounded) {
  std::mt19937 random(7);
  const std::string alphabet = "\x1b\x1b\x1b[[[b0123456789;mHAz\r\n\x0c\x1e";
  std::string text;
  for (int i = 0; i < 400000; ++i) {
    text += random() % 4 == 0 ? char(random()) : alphabet[random() % alphabet.size()];
  }
  const std::string formatted = FormatData(text);
  EXPECT_LE(formatted.size(), 2 * text.size() + 65536);
  for (size_t i = 0; i < formatted.size(); ++i) {
    const auto byte = static_cast<unsigned char>(formatted[i]);
    if (byte == '\r') {
      ASSERT_EQ(formatted[i + 1], '\n') << i;
      ++i;
    } else {
      ASSERT_GE(byte, 32) << i;
    }
  }
  const std::string repeats = [] {
    std::string s = "A";
    for (int i = 0; i < 5000; ++i) s += Esc("32767b");
    return s;
  }();
  EXPECT_EQ(FormatData(repeats).size(), 1u + 65536u);
}

}  // namespace
}  // namespace kestrel
