#include "app/display/mdt_display.h"

#include <gtest/gtest.h>

#include <string>

#include "app/display/mdt_text.h"
#include "app/traffic/terminal_aliases.h"
#include "support/fake_main_view.h"

namespace kestrel {
namespace {

const std::string kHeader("\x75\xC0\x12\x34\x01\x02\x03\x04\x05\x06\x07\x08", 12);

std::string TxRecord(std::string_view body) {
  return kHeader + "TX" + std::string("\x01\x02\x03\x04\x05", 5) + std::string(body);
}
std::string ContinuationRecord(std::string_view body) { return kHeader + std::string(body); }

class MdtDisplayTest : public ::testing::Test {
 protected:
  MdtDisplayTest() { view_.selected_terminal = "<all>"; }

  std::string Separator() { return "\r\n\r\n" + std::string(40, '-') + "\r\n"; }

  Settings settings_;
  kestrel_test::FakeMainView view_;
  TerminalAliases aliases_;
  TrafficClass traffic_{settings_, aliases_};
  PlainTextWindow window_;
  MdtDisplay display_{settings_, view_, traffic_, window_};
};

TEST_F(MdtDisplayTest, WritesBlocksPerTerminalAndMessage) {
  display_.UpdateMDTWindow("1234", "Car 7", TxRecord("FIRST\r"));
  EXPECT_TRUE(display_.MDTHasText());
  display_.UpdateMDTWindow("1234", "Car 7", ContinuationRecord("SECOND"));
  display_.UpdateMDTWindow("5678", "", ContinuationRecord("OTHER1"));
  display_.UpdateMDTWindow("5678", "", TxRecord("NEW"));
  EXPECT_EQ(window_.Text(), "Terminal: 1234 (Car 7)\r\n\r\nFIRST\r\nSECOND" + Separator() +
                                "Terminal: 5678\r\n\r\nOTHER1" + Separator() +
                                "Terminal: 5678\r\n\r\nNEW");
  EXPECT_EQ(display_.LastMDTTerminal(), "5678");
}

TEST_F(MdtDisplayTest, FormatsAndWrapsTheBlock) {
  settings_.MDTColumns = 10;
  display_.UpdateMDTWindow("1234", "", TxRecord("A\x1b[3bX\x1b[0m" + std::string(12, 'z')));
  EXPECT_EQ(window_.Text(), "Terminal: \r\n1234\r\n\r\nAAAAXzzzzz\r\nzzzzzzz");
}

TEST_F(MdtDisplayTest, ShortTxRecordShowsFromTheTx) {
  display_.UpdateMDTWindow("1234", "", TxRecord("ab"));  // 21 characters
  EXPECT_EQ(window_.Text(), "Terminal: 1234\r\n\r\nTX.....ab");
}

TEST_F(MdtDisplayTest, WritesNothingUnlessShowingThisTerminalLive) {
  view_.selected_terminal.reset();
  display_.UpdateMDTWindow("1234", "", TxRecord("BODY"));
  EXPECT_EQ(display_.LastMDTTerminal(), "");

  view_.selected_terminal = "1234";
  display_.UpdateMDTWindow("1234", "", kHeader.substr(0, 11) + "TXxxx");  // 16 characters
  view_.minimised = true;
  display_.UpdateMDTWindow("1234", "", TxRecord("BODY"));
  EXPECT_EQ(display_.LastMDTTerminal(), "");
  view_.minimised = false;

  // Past the first test the terminal is remembered even when nothing is shown.
  display_.UpdateMDTWindow("5678", "", TxRecord("BODY"));
  EXPECT_EQ(display_.LastMDTTerminal(), "5678");
  view_.mdt_shows_message = true;
  display_.UpdateMDTWindow("1234", "", TxRecord("BODY"));
  EXPECT_EQ(display_.LastMDTTerminal(), "1234");
  EXPECT_EQ(window_.Text(), "");
  EXPECT_FALSE(display_.MDTHasText());

  view_.mdt_shows_message = false;
  display_.UpdateMDTWindow("1234", "", ContinuationRecord("SHOWN1"));
  // The terminal did not change, so a continuation gets no header.
  EXPECT_EQ(window_.Text(), "SHOWN1");
}

TEST_F(MdtDisplayTest, HoldShowsNothingUntilReleasedThenTheHistory) {
  display_.UpdateMDTWindow("1234", "", TxRecord("BEFORE"));
  display_.SetHold(true);
  for (const std::string& record : {TxRecord("HELD ONE"), TxRecord("HELD TWO")}) {
    traffic_.Add("1234", "", record);
    display_.UpdateMDTWindow("1234", "", record);
  }
  EXPECT_EQ(window_.Text(), "Terminal: 1234\r\n\r\nBEFORE");

  view_.selected_terminal = "1234";
  display_.SetHold(false);
  EXPECT_FALSE(display_.Hold());
  const std::string history = window_.Text();
  EXPECT_EQ(history, WrapLines(traffic_.Retrieve("1234"), 40));
  EXPECT_NE(history.find("HELD ONE"), std::string::npos);
  EXPECT_NE(history.find("HELD TWO"), std::string::npos);

  // Released with nothing selected: the display is left as it is.
  display_.SetHold(true);
  view_.selected_terminal.reset();
  display_.SetHold(false);
  EXPECT_EQ(window_.Text(), history);
}

}  // namespace
}  // namespace kestrel
