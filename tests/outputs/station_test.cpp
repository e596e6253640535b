#include "app/outputs/station.h"

#include <dlfcn.h>
#include <gtest/gtest.h>
#include <link.h>

#include <QJsonDocument>
#include <QJsonObject>

#include "app/display/capture.h"
#include "app/display/mdt_display.h"
#include "app/display/messages_list.h"
#include "app/display/raw_data.h"
#include "app/mail/email_class.h"
#include "app/outputs/headless_station.h"
#include "app/rules/rule_processing.h"
#include "app/rules/rules_class.h"
#include "app/traffic/process_sieve.h"
#include "event_schema.h"
#include "support/fake_main_view.h"
#include "support/records.h"

namespace kestrel {
namespace {

using kestrel_test::Record;

// Keeps every line it is given.
struct MemoryOutput : Output {
  explicit MemoryOutput(std::vector<std::string>& lines) : lines_(lines) {}
  void Write(const EventLine& line) override {
    EXPECT_EQ(line.json.find(std::string("\"type\":\"") + std::string(line.type) + "\""), 1u);
    lines_.emplace_back(line.json);
  }
  OutputStatus Status() const override { return {"Memory", "", lines_.size(), 0, 0}; }
  std::vector<std::string>& lines_;
};

struct QuietAlert : AlertView {
  void ShowAlert(const AlertContent&) override {}
  void SetReceived(std::string_view) override {}
  void SetMessageText(std::string_view) override {}
};
struct QuietSound : SoundOutput {
  void PlaySound(const std::string&) override {}
  void Beep() override {}
};

// Record processing and rules as the program wires them, observed by a station.
class StationTest : public ::testing::Test {
 protected:
  StationTest() {
    view_.selected_terminal = "<all>";
    aliases_.Assign("0101", "Car \xC3\x9C");
    station_.AddOutput(std::make_unique<MemoryOutput>(lines_));
    station_.SetWindowActionNotice([this](std::string_view line) { notices_.emplace_back(line); });
    processor_.SetEventSink(&station_);
    rule_processing_.SetEventSink(&station_);
  }

  Rule& AddRule(const std::string& name, const std::string& body) {
    rules_.Add(name);
    Rule& rule = *rules_.At(rules_.Count());
    rule.Active = true;
    rule.MessageBody = body;
    return rule;
  }

  std::vector<QJsonObject> Events() {
    std::vector<QJsonObject> events;
    for (const std::string& line : lines_) {
      EXPECT_EQ(line.back(), '\n');
      EXPECT_EQ(kestrel_test::CheckEvent(line.substr(0, line.size() - 1)), "") << line;
      events.push_back(QJsonDocument::fromJson(QByteArray::fromStdString(line)).object());
    }
    return events;
  }

  Settings settings_;
  kestrel_test::FakeMainView view_;
  TerminalAliases aliases_;
  TrafficClass traffic_{settings_, aliases_};
  MessagesClass messages_;
  MessagesList messages_list_;
  ManualClock clock_;
  RecordingMessageBoxes boxes_;
  ErrorReporter errors_{settings_, boxes_};
  RulesClass rules_{errors_};
  EMailClass email_{clock_};
  QuietAlert alert_;
  QuietSound sound_;
  RuleProcessing rule_processing_{RuleServices{settings_, rules_, aliases_, traffic_, messages_,
                                               messages_list_, alert_, email_, sound_, nullptr,
                                               clock_, errors_}};
  CaptureWriter capture_{settings_, clock_, boxes_};
  RawData raw_data_;
  PlainTextWindow mdt_window_;
  MdtDisplay mdt_{settings_, view_, traffic_, mdt_window_};
  TrafficProcessor processor_{TrafficServices{settings_, view_, traffic_, messages_, aliases_,
                                              rule_processing_, capture_, raw_data_, mdt_,
                                              errors_}};
  std::vector<std::string> lines_;
  std::vector<std::string> notices_;
  Station station_{clock_, "north", [] { return std::string("recording"); }};
};

TEST_F(StationTest, RecordMessageAndRuleEventsInProcessingOrder) {
  Rule& rule = AddRule("Fire", "*FIRE*");
  rule.LogMessages = true;
  rule.LogMessageType = "Alarm";
  rule.BeepOnMatch = true;
  processor_.ProcessSieve(Record(0x0101, true, "FIRE AT\x01\xFF"), 2);

  const std::vector<QJsonObject> e = Events();
  ASSERT_EQ(e.size(), 3u);
  EXPECT_EQ(e[0]["type"].toString(), "record");
  EXPECT_EQ(e[0]["corrections"].toInteger(), 2);
  EXPECT_EQ(e[0]["source"].toString(), "recording");
  // The record as received, trailer and all.
  EXPECT_EQ(e[0]["bytes"].toInteger(), qint64(Record(0x0101, true, "FIRE AT\x01\xFF").size()));
  EXPECT_EQ(e[1]["type"].toString(), "message");
  EXPECT_EQ(e[1]["number"].toInteger(), 1);
  EXPECT_EQ(e[1]["terminal"].toString(), "0101");
  EXPECT_EQ(e[1]["alias"].toString(), QString::fromUtf8("Car \xC3\x9C"));
  EXPECT_FALSE(e[1]["continuation"].toBool());
  EXPECT_TRUE(e[1]["text"].toString().startsWith("FIRE AT"));
  EXPECT_EQ(e[2]["type"].toString(), "rule");
  EXPECT_EQ(e[2]["rule"].toString(), "Fire");
  EXPECT_EQ(e[2]["message"].toInteger(), 1);
  EXPECT_EQ(e[2]["row"]["type"].toString(), "Alarm");
  EXPECT_EQ(e[2]["row"]["number"].toInteger(), messages_list_.Rows().front().tag);
  for (size_t i = 0; i < e.size(); ++i) EXPECT_EQ(e[i]["seq"].toInteger(), qint64(i + 1));
  EXPECT_EQ(notices_, (std::vector<std::string>{"rule \"Fire\": messages", "rule \"Fire\": beep"}));
}

TEST_F(StationTest, ContinuationKeepsTheMessageNumberAndANewMessageTakesTheNext) {
  AddRule("Any", "*");
  processor_.ProcessSieve(Record(0x0101, true, "ONE"));
  processor_.ProcessSieve(Record(0x0101, false, "MORE"));
  processor_.ProcessSieve(Record(0x0202, true, "TWO"));
  std::vector<QJsonObject> messages;
  for (const QJsonObject& e : Events())
    if (e["type"].toString() == "message") messages.push_back(e);
  ASSERT_EQ(messages.size(), 3u);
  EXPECT_EQ(messages[0]["number"].toInteger(), 1);
  EXPECT_EQ(messages[1]["number"].toInteger(), 1);
  EXPECT_TRUE(messages[1]["continuation"].toBool());
  EXPECT_TRUE(messages[1]["text"].toString().contains("MORE"));
  EXPECT_EQ(messages[2]["number"].toInteger(), 2);
  // A rule with no action still reports its match, with no notice on standard error.
  EXPECT_TRUE(notices_.empty());
}

TEST_F(StationTest, EveryRejectedRecordIsReportedWithItsReason) {
  processor_.ProcessSieve(Record(0x0101, true, "x").substr(0, 13));  // one short of the least
  processor_.ProcessSieve(Record(0x0101, false, "").substr(0, 14));  // exactly the least
  processor_.ProcessSieve("\x76" + Record(0x0101, true, "x").substr(1));
  processor_.ProcessSieve(Record(0x0202, true, "same"));
  processor_.ProcessSieve(Record(0x0202, true, "same"));
  std::vector<std::string> outcomes;
  for (const QJsonObject& e : Events()) {
    if (e["type"].toString() != "record") continue;
    outcomes.push_back(e["accepted"].toBool() ? "accepted" : e["reason"].toString().toStdString());
    EXPECT_TRUE(e["corrections"].isNull());
  }
  EXPECT_EQ(outcomes, (std::vector<std::string>{"too short", "accepted", "bad start", "accepted",
                                                "duplicate"}));
}

TEST_F(StationTest, SplitRecordGivesOneRecordEventPerPiece) {
  const std::string first = Record(0x0101, true, "A");
  const std::string second = Record(0x0202, true, "B");
  processor_.ProcessSieve(first + second, 5);
  std::vector<qint64> sizes;
  for (const QJsonObject& e : Events()) {
    if (e["type"].toString() != "record") continue;
    sizes.push_back(e["bytes"].toInteger());
    EXPECT_EQ(e["corrections"].toInteger(), 5);
  }
  EXPECT_EQ(sizes, (std::vector<qint64>{qint64(first.size()), qint64(second.size())}));
}

TEST_F(StationTest, HealthCountsSinceTheLastReport) {
  processor_.ProcessSieve(Record(0x0101, true, "A"), 3);
  processor_.ProcessSieve(Record(0x0102, true, "B"), 4);
  station_.Health(60, 55);
  station_.Health(60, -1);
  const std::vector<QJsonObject> e = Events();
  ASSERT_GE(e.size(), 2u);
  const QJsonObject first = e[e.size() - 2], second = e.back();
  EXPECT_EQ(first["records"].toInteger(), 2);
  EXPECT_EQ(first["corrections"].toInteger(), 7);
  EXPECT_EQ(first["quality"].toInteger(), 55);
  EXPECT_EQ(second["records"].toInteger(), 0);
  EXPECT_TRUE(second["quality"].isNull());
  EXPECT_EQ(station_.Statuses().size(), 1u);
}

// The station's code reaches Qt Core and Network at most: a test binary that links the
// headless program's libraries has no Qt Widgets loaded.
TEST(StationLinkTest, NoWidgetsLibraryIsLoaded) {
  // Keeps the headless program in this binary, with everything it links.
  volatile auto run = &RunHeadless;
  ASSERT_NE(run, nullptr);
  std::vector<std::string> loaded;
  dl_iterate_phdr(
      [](dl_phdr_info* info, size_t, void* data) {
        static_cast<std::vector<std::string>*>(data)->emplace_back(info->dlpi_name);
        return 0;
      },
      &loaded);
  bool core = false;
  for (const std::string& name : loaded) {
    EXPECT_EQ(name.find("Qt6Widgets"), std::string::npos) << name;
    if (name.find("Qt6Core") != std::string::npos) core = true;
  }
  EXPECT_TRUE(core) << "the check would pass vacuously";
}

}  // namespace
}  // namespace kestrel
