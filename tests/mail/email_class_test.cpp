#include "app/mail/email_class.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "app/platform/program_log.h"

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
  std::vector<std::string> log_;
  ScopedProgramLogSink log_sink_{[this](const std::string& line) { log_.push_back(line); }};
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

// The server's answers, one per Send: 250 accepts; 0 is no connection; 4xx and 5xx refuse.
class ScriptedMailControl : public RecordingMailControl {
 public:
  bool Send() override {
    RecordingMailControl::Send();
    subjects.push_back(subject_);
    code_ = answers.empty() ? 250 : answers.front();
    if (!answers.empty()) answers.pop_front();
    return code_ == 250;
  }
  void SetSubject(const std::string& v) override { subject_ = v; }
  void SetConnection(const MailConnection& c) override { connection = c; }
  std::string LastError() const override {
    if (code_ == 250) return {};
    return code_ == 0 ? "Connection refused" : std::to_string(code_) + " try later";
  }
  int LastReplyCode() const override { return code_ == 250 ? 0 : code_; }
  bool IsTemporaryFailure() const override { return code_ == 0 || (code_ >= 400 && code_ < 500); }

  std::deque<int> answers;
  std::vector<std::string> subjects;
  MailConnection connection;

 private:
  std::string subject_;
  int code_ = 250;
};

class EMailRetryTest : public EMailClassTest {
 protected:
  // Queues mails with the given subjects, ready to send.
  void Queue(std::initializer_list<const char*> subjects) {
    for (const char* subject : subjects) Add("0101", 1, "body", subject);
    clock_.Advance(6s);
    queue_.QueueEMails();
  }
  void TickAt(std::chrono::seconds since_start) {
    clock_.Set(start_ + since_start);
    Tick(control_);
  }
  ScriptedMailControl control_;
  Clock::TimePoint start_ = Clock::TimePoint(1'700'000'006s);
};

TEST(RetryDelayTest, DoublesFromOneMinuteUpToFifteen) {
  using std::chrono::minutes;
  EXPECT_EQ(EMailClass::RetryDelay(1), minutes(1));
  EXPECT_EQ(EMailClass::RetryDelay(2), minutes(2));
  EXPECT_EQ(EMailClass::RetryDelay(3), minutes(4));
  EXPECT_EQ(EMailClass::RetryDelay(4), minutes(8));
  EXPECT_EQ(EMailClass::RetryDelay(5), minutes(15));  // 16 is past the cap
  EXPECT_EQ(EMailClass::RetryDelay(6), minutes(15));
  EXPECT_EQ(EMailClass::RetryDelay(0), minutes(1));
  EXPECT_EQ(EMailClass::RetryDelay(40), minutes(15));
  EXPECT_EQ(EMailClass::RetryDelay(std::numeric_limits<int>::max()), minutes(15));
}

TEST_F(EMailRetryTest, TemporaryRefusalsAreTriedAgainOnTheSchedule) {
  Queue({"A"});
  control_.answers = {451, 451, 0, 421, 451, 451, 250};
  TickAt(0s);
  // Each pause is measured from the refusal: one second early nothing is sent, on time it is.
  std::chrono::seconds at(0);
  for (int minutes : {1, 2, 4, 8, 15, 15}) {
    at += std::chrono::minutes(minutes);
    const int sends = control_.sends;
    TickAt(at - 1s);
    EXPECT_EQ(control_.sends, sends) << minutes;
    TickAt(at);
    EXPECT_EQ(control_.sends, sends + 1) << minutes;
  }
  EXPECT_FALSE(queue_.Queued());
  EXPECT_EQ(queue_.Status().Sent(), 1u);
  EXPECT_EQ(queue_.Status().Retried(), 6u);
  EXPECT_EQ(queue_.Status().Failed(), 0u);
  EXPECT_THAT(control_.subjects, ::testing::Each(std::string("A")));  // the same mail each time
  ASSERT_EQ(log_.size(), 6u);
  EXPECT_EQ(log_[0], "E-mail to ops@x (\"A\") not sent: 451 try later; next try in 1 minute");
  EXPECT_EQ(log_[2], "E-mail to ops@x (\"A\") not sent: Connection refused; next try in 4 minutes");
  EXPECT_EQ(log_[5], "E-mail to ops@x (\"A\") not sent: 451 try later; next try in 15 minutes");
}

TEST_F(EMailRetryTest, PermanentRefusalIsDroppedWithItsReason) {
  Queue({"A", "B"});
  control_.answers = {550, 250};
  TickAt(0s);
  EXPECT_THAT(control_.subjects, ElementsAre("A", "B"));
  EXPECT_FALSE(queue_.Queued());
  EXPECT_EQ(queue_.Status().Sent(), 1u);
  EXPECT_EQ(queue_.Status().Failed(), 1u);
  EXPECT_EQ(queue_.Status().Retried(), 0u);
  EXPECT_EQ(queue_.Status().LastError(), "550 try later");
  EXPECT_EQ(queue_.Status().LastErrorTime(), start_);
  EXPECT_THAT(log_, ElementsAre("E-mail to ops@x (\"A\") not sent: 550 try later; given up"));
  TickAt(1h);
  EXPECT_EQ(control_.sends, 2);  // never again
}

TEST_F(EMailRetryTest, NewerMailGoesOutWhileAnOlderWaits) {
  Queue({"A", "B"});
  control_.answers = {451, 250, 250};
  TickAt(0s);
  EXPECT_THAT(control_.subjects, ElementsAre("A", "B"));
  Queue({"C"});
  TickAt(59s);
  EXPECT_THAT(control_.subjects, ElementsAre("A", "B", "C"));
  EXPECT_EQ(queue_.QueueCount(), 1u);
  TickAt(60s);
  EXPECT_THAT(control_.subjects, ElementsAre("A", "B", "C", "A"));
  EXPECT_EQ(queue_.Status().Sent(), 3u);
  EXPECT_EQ(queue_.Status().Retried(), 1u);
}

TEST_F(EMailRetryTest, NoConnectionLeavesTheRestForTheNextTick) {
  Queue({"A", "B", "C"});
  control_.answers = {0, 0, 250, 250};
  TickAt(0s);
  // The server is not there: trying B and C as well would only wait out two more timeouts.
  EXPECT_THAT(control_.subjects, ElementsAre("A"));
  EXPECT_EQ(queue_.QueueCount(), 3u);
  TickAt(3s);
  EXPECT_THAT(control_.subjects, ElementsAre("A", "B"));
  TickAt(6s);
  EXPECT_THAT(control_.subjects, ElementsAre("A", "B", "C"));
  // Both refused ones keep their order behind each other.
  TickAt(63s);
  EXPECT_THAT(control_.subjects, ElementsAre("A", "B", "C", "A", "B"));
  EXPECT_FALSE(queue_.Queued());
  EXPECT_EQ(queue_.Status().Retried(), 2u);
  EXPECT_EQ(queue_.Status().Sent(), 3u);
}

TEST_F(EMailRetryTest, ARefusedMailKeepsItsPlaceInTheQueue) {
  Queue({"A", "B"});
  control_.answers = {451, 0};
  TickAt(0s);
  Queue({"C"});
  std::vector<std::string> order;
  for (const Mail& mail : Drain()) order.push_back(mail.subject);
  EXPECT_THAT(order, ElementsAre("A", "B", "C"));
}

TEST_F(EMailRetryTest, ClockSetBackDoesNotHoldARetryForHours) {
  Queue({"A"});
  control_.answers = {451};
  TickAt(3h);
  TickAt(0s);  // the clock went back three hours
  EXPECT_EQ(control_.sends, 2);
  EXPECT_FALSE(queue_.Queued());
}

TEST_F(EMailRetryTest, StatusTextCountsSpooledAndQueuedAsWaiting) {
  Queue({"A", "B"});
  Add("0202", 2, "still spooled");
  EXPECT_EQ(queue_.Waiting(), 3u);
  EXPECT_EQ(queue_.StatusText(), "E-mail: 0 sent, 0 retried, 0 failed, 3 waiting");
  control_.answers = {250, 451};
  TickAt(0s);
  EXPECT_EQ(queue_.StatusText(), "E-mail: 1 sent, 1 retried, 0 failed, 2 waiting\nLast error at " +
                                     FormatLocalTime(start_) + ": 451 try later");
}

TEST_F(EMailRetryTest, ControlWithoutDetailsCountsItsRefusalsAsPermanent) {
  Queue({"A"});
  RecordingMailControl plain;  // answers false and nothing more
  Tick(plain);
  EXPECT_FALSE(queue_.Queued());
  EXPECT_EQ(queue_.Status().Failed(), 1u);
  EXPECT_EQ(queue_.Status().LastError(), "the server did not accept it");
}

TEST_F(EMailRetryTest, TheConnectionReachesEverySend) {
  MailConnection connection{kSmtpSecurityStartTls, 2587, "user@x", "pw", "/ca.pem"};
  queue_.SetConnection(connection);
  Queue({"A"});
  TickAt(0s);
  EXPECT_EQ(control_.connection, connection);
}

TEST_F(EMailRetryTest, AFullQueueCountsWhatItDrops) {
  for (std::size_t i = 0; i < EMailClass::kMaxQueued + 2; ++i) Add("t", int(i), "m", "S");
  clock_.Advance(6s);
  queue_.QueueEMails();
  EXPECT_EQ(queue_.QueueCount(), EMailClass::kMaxQueued);
  EXPECT_EQ(queue_.Status().Failed(), 2u);
  EXPECT_EQ(queue_.Status().LastError(), "the send queue was full");
  EXPECT_EQ(log_.size(), 2u);
}

TEST(MailStatusTextTest, CountsThenTheLastError) {
  MailStatus status;
  EXPECT_EQ(MailStatusText(status, 0), "E-mail: 0 sent, 0 retried, 0 failed, 0 waiting");
  status.CountSent();
  status.CountRetry("451 busy", Clock::TimePoint(1'700'000'000s));
  const Clock::TimePoint when = Clock::TimePoint(1'700'000'123s);
  status.CountFailure("535 authentication failed", when);
  EXPECT_EQ(MailStatusText(status, 4),
            "E-mail: 1 sent, 1 retried, 1 failed, 4 waiting\n"
            "Last error at " +
                FormatLocalTime(when) + ": 535 authentication failed");
  EXPECT_EQ(FormatLocalTime(when).size(), 19u);
}

// Rule texts are UTF-8, radio bytes Latin-1: both must arrive as the same characters.
TEST_F(EMailClassTest, RadioBytesBecomeUtf8BesideTheRuleText) {
  // "Einsatz für %T" with radio text "Straße 5°".
  Add("0101", 1,
      "Stra\xDF"
      "e 5\xB0",
      "Einsatz f\xC3\xBCr %T");
  // A template that is not UTF-8 is an old Latin-1 one.
  Add("0101", 1, "x", "f\xFCr %T");
  // Pieces are cut between radio characters, each whole in UTF-8.
  Add("0101", 1,
      "\xE4\xF6\xFC\xDF"
      "ab",
      "%T", 3, 0);
  // The limit counts radio characters, not UTF-8 bytes.
  Add("0101", 1, "\xE4\xE4\xE4\xE4", "S", 0, 2);
  const auto mails = Flush();
  ASSERT_EQ(mails.size(), 5u);
  EXPECT_EQ(mails[0].subject,
            "Einsatz f\xC3\xBCr Stra\xC3\x9F"
            "e 5\xC2\xB0");
  EXPECT_EQ(mails[0].body,
            "Stra\xC3\x9F"
            "e 5\xC2\xB0");
  EXPECT_EQ(mails[1].subject, "f\xC3\xBCr x");
  EXPECT_EQ(mails[2].subject,
            "\xC3\xA4\xC3\xB6\xC3\xBC\xC3\x9F"
            "ab");
  EXPECT_EQ(mails[2].body, "\xC3\xA4\xC3\xB6\xC3\xBC");
  EXPECT_EQ(mails[3].subject,
            "\xC3\xA4\xC3\xB6\xC3\xBC\xC3\x9F"
            "ab (Part 2)");
  EXPECT_EQ(mails[3].body,
            "\xC3\x9F"
            "ab");
  EXPECT_EQ(mails[4].body, "\xC3\xA4\xC3\xA4");
}

TEST_F(EMailClassTest, InvalidUtf8TemplatesAreReadAsLatin1) {
  // Each a near miss of UTF-8: a lone continuation, an overlong "/", a surrogate, a sequence
  // cut by the end, a lead byte past U+10FFFF.
  for (const std::string bad :
       {"\x80", "\xC0\xAF", "\xED\xA0\x80", "\xE2\x82", "\xF5\x80\x80\x80"}) {
    Add("0101", 1, "x", bad);
  }
  // Valid at the edges: U+07FF, U+0800, U+FFFF, U+10FFFF stay as written.
  const std::vector<std::string> good = {"\xDF\xBF", "\xE0\xA0\x80", "\xEF\xBF\xBF",
                                         "\xF4\x8F\xBF\xBF"};
  for (const std::string& g : good) Add("0101", 1, "x", g);
  const auto mails = Flush();
  ASSERT_EQ(mails.size(), 9u);
  EXPECT_EQ(mails[0].subject, "\xC2\x80");
  EXPECT_EQ(mails[1].subject, "\xC3\x80\xC2\xAF");
  EXPECT_EQ(mails[3].subject, "\xC3\xA2\xC2\x82");
  for (std::size_t i = 0; i < good.size(); ++i) EXPECT_EQ(mails[5 + i].subject, good[i]);
}

}  // namespace
}  // namespace kestrel
