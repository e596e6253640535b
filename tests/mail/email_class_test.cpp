#include "app/mail/email_class.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

namespace kestrel {
namespace {

using namespace std::chrono_literals;
using ::testing::ElementsAre;

// Writes down every call as one line, so a test can check both content and order.
class RecordingMailControl : public MailControl {
 public:
  void ClearToAddresses() override { calls.push_back("Clear"); }
  void AddToAddress(const std::string& address, const std::string& name) override {
    calls.push_back("To[" + address + "][" + name + "]");
  }
  void SetFromName(const std::string& v) override { calls.push_back("FromName=" + v); }
  void SetFromAddress(const std::string& v) override { calls.push_back("FromAddress=" + v); }
  void SetSubject(const std::string& v) override { calls.push_back("Subject=" + v); }
  void SetHostname(const std::string& v) override { calls.push_back("Hostname=" + v); }
  void SetContentType(const std::string& v) override { calls.push_back("ContentType=" + v); }
  void SetMessage(const std::string& v) override { messages.push_back(v); }
  bool Send() override {
    calls.push_back("Send");
    ++sends;
    if (during_send) during_send();
    return false;  // the queue must not care
  }

  std::vector<std::string> calls, messages;
  int sends = 0;
  std::function<void()> during_send;
};

struct Mail {
  std::string from_name, from_address, to, subject, body;
  bool html = false;
};

class EMailClassTest : public ::testing::Test {
 protected:
  EMailClassTest() { clock_.Set(Clock::TimePoint(1'700'000'000s)); }

  void Add(const std::string& terminal, int rule, const std::string& body,
           const std::string& subject = "S", int split = 0, int limit = 0, bool html = false,
           const std::string& to = "ops@x") {
    EXPECT_TRUE(queue_.Add("Kestrel", "k@x", to, subject, terminal, "alias", body, false, rule,
                           false, html, split, limit));
  }
  void Update(const std::string& terminal, int rule, const std::string& body) {
    EXPECT_TRUE(queue_.Update("Other", "o@x", "o@x", "ignored", terminal, "alias", body, true, rule,
                              false, false, 0, 0));
  }
  // Everything that reached the send queue, after a wait long enough for all of it.
  std::vector<Mail> Flush() {
    clock_.Advance(10s);
    queue_.QueueEMails();
    return Drain();
  }
  std::vector<Mail> Drain() {
    std::vector<Mail> mails;
    Mail m;
    while (queue_.GetQueuedMessage(m.from_name, m.from_address, m.to, m.subject, m.body, m.html)) {
      mails.push_back(m);
    }
    return mails;
  }
  std::vector<std::string> Bodies() {
    std::vector<std::string> bodies;
    for (const Mail& mail : Flush()) bodies.push_back(mail.body);
    return bodies;
  }
  void Tick(RecordingMailControl& control, Colour text = 65280, Colour background = 0) {
    queue_.StatusTick(control, "smtp.local", text, background);
  }

  ManualClock clock_;
  EMailClass queue_{clock_};
};

TEST(CollapseSpacesTest, SlashesLineEndsThenSqueezesBlanks) {
  EXPECT_EQ(EMailClass::CollapseSpaces("A  B\r\nC"), "A B / C");
  EXPECT_EQ(EMailClass::CollapseSpaces("A\r\n  B\r\nC"), "A / B / C");
  EXPECT_EQ(EMailClass::CollapseSpaces("\r\n\r\n"), " / / ");
  // Only CR LF pairs: lone CR or LF and LF CR are left; tabs are not blanks.
  EXPECT_EQ(EMailClass::CollapseSpaces("a\rb\nc\n\rd\r"), "a\rb\nc\n\rd\r");
  EXPECT_EQ(EMailClass::CollapseSpaces("a\t\tb     c"), "a\t\tb c");
}

TEST(HtmlColourTest, ReordersToRedGreenBlue) {
  EXPECT_EQ(EMailClass::HtmlColour(65280, 0), "00FF00");
  EXPECT_EQ(EMailClass::HtmlColour(0x0A0B0C, 0), "0C0B0A");  // red low byte; padded, upper case
  EXPECT_EQ(EMailClass::HtmlColour(-1, 0xFFFFFF), "FFFFFF");
  EXPECT_EQ(EMailClass::HtmlColour(int32_t(0x80000005), 0), "000000");  // a system colour code
  EXPECT_EQ(EMailClass::HtmlColour(0x02123456, 0), "563412");           // only the RGB bytes
}

TEST_F(EMailClassTest, UpdateMergesIntoTheLatestEntryOfTheSameTerminalAndRule) {
  Add("0101", 1, "one");
  Add("0101", 1, "two");
  EXPECT_THAT(Bodies(), ElementsAre("one", "two"));

  Add("0101", 1, "old");
  Add("0101", 1, "first", "S1");
  Update("0101", 1, "first and more");
  auto mails = Flush();
  ASSERT_EQ(mails.size(), 2u);
  EXPECT_EQ(mails[1].body, "first and more");
  EXPECT_EQ(mails[1].subject, "S1");  // the first values stay
  EXPECT_EQ(mails[1].from_name, "Kestrel");

  // Another rule, another terminal or another case of it: no match, so each is added.
  Add("0a0b", 1, "x");
  Update("0a0b", 2, "rule 2");
  Update("0A0B", 1, "upper");
  Update("0a0b", 1, "merged");
  EXPECT_THAT(Bodies(), ElementsAre("merged", "rule 2", "upper"));
}

TEST_F(EMailClassTest, UpdateWithoutMatchAddsWithAllFields) {
  EXPECT_TRUE(queue_.Update("Me", "me@x", "a@x", "Subj", "0101", "", "B\r\n  C", true, 3, true,
                            true, 0, 0));
  const auto mails = Flush();
  ASSERT_EQ(mails.size(), 1u);
  EXPECT_EQ(mails[0].from_name, "Me");
  EXPECT_EQ(mails[0].from_address, "me@x");
  EXPECT_EQ(mails[0].to, "a@x");
  EXPECT_EQ(mails[0].subject, "Subj");
  EXPECT_EQ(mails[0].body, "B / C");  // collapsed on the way in
  EXPECT_TRUE(mails[0].html);
}

TEST_F(EMailClassTest, WaitsForMoreThanFiveWholeSecondBoundaries) {
  clock_.Set(Clock::TimePoint(1010s + 900ms));
  Add("0101", 1, "body");
  for (auto now : {1015s + 900ms, 1015s + 999ms}) {  // 5 boundaries only
    clock_.Set(Clock::TimePoint(now));
    queue_.QueueEMails();
    EXPECT_FALSE(queue_.Queued());
  }
  clock_.Set(Clock::TimePoint(1016s));  // the sixth, after only 5.1 s
  queue_.QueueEMails();
  EXPECT_TRUE(queue_.Queued());
  EXPECT_FALSE(queue_.Spooled());
}

TEST_F(EMailClassTest, UpdatesHoldAMailBackWhileOthersLeaveInOrder) {
  clock_.Set(Clock::TimePoint(2000s));
  Add("A", 1, "a");
  Add("B", 1, "b");
  clock_.Set(Clock::TimePoint(2004s));
  Update("A", 1, "a2");
  Add("C", 1, "c");
  clock_.Set(Clock::TimePoint(2006s));
  queue_.QueueEMails();
  EXPECT_EQ(queue_.QueueCount(), 1u);
  Update("A", 1, "a3");  // still found after B left the spool
  clock_.Set(Clock::TimePoint(2010s));
  queue_.QueueEMails();
  EXPECT_EQ(queue_.QueueCount(), 2u);
  EXPECT_THAT(Bodies(), ElementsAre("b", "c", "a3"));
}

TEST_F(EMailClassTest, ClockSetBackRestartsTheWaitInsteadOfHolding) {
  Add("0101", 1, "body");
  clock_.Advance(-1h);
  queue_.QueueEMails();
  EXPECT_FALSE(queue_.Queued());
  clock_.Advance(6s);
  queue_.QueueEMails();
  EXPECT_TRUE(queue_.Queued());
}

TEST_F(EMailClassTest, SplitsAndLimitsBodies) {
  const std::string a(100, 'a'), b(100, 'b'), c(50, 'c'), body = a + b + c;
  Add("0101", 1, body, "S", 100, 0);
  auto mails = Flush();
  ASSERT_EQ(mails.size(), 3u);
  EXPECT_EQ(mails[0].body, a);
  EXPECT_EQ(mails[1].body, b);
  EXPECT_EQ(mails[2].body, c);
  EXPECT_EQ(mails[0].subject, "S");
  EXPECT_EQ(mails[1].subject, "S (Part 2)");
  EXPECT_EQ(mails[2].subject, "S (Part 3)");

  Add("0101", 1, body, "S", 100, 120);
  Add("0101", 1, body, "S", 0, 120);  // limit alone
  Add("0101", 1, body, "S", 250, 0);  // exactly one piece
  Add("0101", 1, body, "S", 0, 300);  // limit above the length
  EXPECT_THAT(Bodies(), ElementsAre(a, std::string(20, 'b'), a + std::string(20, 'b'), body, body));

  // Negative sizes (16-bit values from a file) mean none; an empty body sends nothing.
  Add("0101", 1, "twelve chars", "S", -5, -100);
  Add("0101", 1, "twelve chars", "S", -32768, 0);
  Add("0101", 1, "", "S", 100, 0);
  Add("0101", 1, "ab", "S", 1, 0);
  EXPECT_THAT(Bodies(), ElementsAre("twelve chars", "twelve chars", "a", "b"));
}

TEST_F(EMailClassTest, FillsSubjectWithThePreview) {
  Add("0101", 1, "A  B\r\nC", "Alert: %T");
  Add("0101", 1, "A\r\n  B\r\nC", "Alert: %T");
  Add("0101", 1, "says %T here", "[%T] %T%");  // inserted text is not filled again
  Add("0101", 1, std::string(79, 'x') + "yz", "%T");
  Add("0101", 1, "abc", "%t %");
  Add("0101", 1, "cut\rhere\nand", "%T");
  Add("0101", 1, "0123456789", "%T", 0, 3);
  auto mails = Flush();
  ASSERT_EQ(mails.size(), 7u);
  EXPECT_EQ(mails[0].subject, "Alert: A B / C");
  EXPECT_EQ(mails[0].body, "A  B\r\nC");  // the body itself is collapsed only when asked
  EXPECT_EQ(mails[1].subject, "Alert: A / B / C");
  EXPECT_EQ(mails[2].subject, "[says %T here] says %T here%");
  EXPECT_EQ(mails[3].subject, std::string(79, 'x') + "y");  // first 80 characters
  EXPECT_EQ(mails[4].subject, "%t %");
  EXPECT_EQ(mails[5].subject, "cut here and");  // a lone line end would break the header
  EXPECT_EQ(mails[6].subject, "0123456789");    // taken before the limit cuts the body
  EXPECT_EQ(mails[6].body, "012");
}

TEST_F(EMailClassTest, SendsPlainMailToEveryTrimmedRecipient) {
  Add("0101", 1, "hello", "Subj", 0, 0, false, "a@x, b@y");
  RecordingMailControl control;
  Tick(control);
  EXPECT_EQ(control.sends, 0);  // still spooled
  clock_.Advance(6s);
  Tick(control);
  EXPECT_THAT(control.calls,
              ElementsAre("Clear", "FromName=Kestrel", "FromAddress=k@x", "Subject=Subj",
                          "Hostname=smtp.local", "ContentType=text/plain", "To[a@x][]", "To[b@y][]",
                          "Send"));
  EXPECT_THAT(control.messages, ElementsAre("hello"));

  control.calls.clear();
  Add("0101", 1, "x", "S", 0, 0, false, "");
  Add("0101", 1, "x", "S", 0, 0, false, " c@z ,");
  clock_.Advance(6s);
  Tick(control);
  std::erase_if(control.calls, [](const std::string& call) { return !call.starts_with("To"); });
  EXPECT_THAT(control.calls, ElementsAre("To[][]", "To[c@z][]", "To[][]"));
  EXPECT_FALSE(queue_.Spooled() || queue_.Queued());
}

TEST_F(EMailClassTest, SendsHtmlInTheDisplayColours) {
  Add("0101", 1, "GO <NOW> & FAST", "S", 0, 0, true);
  clock_.Advance(6s);
  RecordingMailControl control;
  Tick(control, 65280, 0);
  EXPECT_THAT(control.calls, ::testing::Contains("ContentType=text/html"));
  Add("0101", 1, "x", "S", 0, 0, true);
  clock_.Advance(6s);
  Tick(control, kDefaultColour, kDefaultColour);
  // Radio text is escaped so that it shows as sent rather than as markup.
  EXPECT_THAT(control.messages, ElementsAre("<HTML><BODY BGCOLOR=#000000><FONT COLOR=#00FF00><PRE>"
                                            "GO &lt;NOW&gt; &amp; FAST</PRE></FONT></BODY></HTML>",
                                            "<HTML><BODY BGCOLOR=#FFFFFF><FONT COLOR=#000000><PRE>x"
                                            "</PRE></FONT></BODY></HTML>"));
}

TEST_F(EMailClassTest, ATickDuringSendNeverStartsASecondSend) {
  for (const char* body : {"one", "two", "three"}) Add("0101", 1, body);
  clock_.Advance(6s);
  RecordingMailControl control;
  int depth = 0, deepest = 0;
  control.during_send = [&] {
    deepest = std::max(deepest, ++depth);
    EXPECT_TRUE(queue_.Sending());
    // Events run during Send: new traffic arrives, and another tick queues it.
    if (control.sends == 1) {
      Add("0202", 2, "late");
      clock_.Advance(6s);
    }
    Tick(control);
    --depth;
  };
  Tick(control);
  EXPECT_EQ(deepest, 1);
  EXPECT_FALSE(queue_.Sending());
  EXPECT_THAT(control.messages, ElementsAre("one", "two", "three", "late"));  // one tick drains
  EXPECT_FALSE(queue_.Spooled() || queue_.Queued());
}

TEST_F(EMailClassTest, FloodsStayBounded) {
  // A full spool queues its oldest entry early; nothing is lost there.
  for (std::size_t i = 0; i < EMailClass::kMaxSpooled + 5; ++i) Add(std::to_string(i), 1, "m");
  EXPECT_EQ(queue_.SpoolCount(), EMailClass::kMaxSpooled);
  EXPECT_EQ(queue_.QueueCount(), 5u);
  // A send queue the server cannot keep up with keeps the newest mails.
  for (char round = '0'; round <= '9'; ++round) {
    for (std::size_t i = 0; i < EMailClass::kMaxSpooled; ++i) Add("t", 1, std::string(1, round));
    clock_.Advance(6s);
    queue_.QueueEMails();
    EXPECT_LE(queue_.QueueCount(), EMailClass::kMaxQueued);
  }
  EXPECT_EQ(queue_.DroppedCount(), 11 * EMailClass::kMaxSpooled + 5 - EMailClass::kMaxQueued);
  EXPECT_EQ(Drain().back().body, "9");
  // So is one long body split into tiny pieces.
  Add("0101", 1, std::string(30000, 'z'), "S", 1, 0);
  EXPECT_EQ(Flush().size(), EMailClass::kMaxQueued);
}

}  // namespace
}  // namespace kestrel
