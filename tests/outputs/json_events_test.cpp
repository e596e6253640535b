#include "app/outputs/json_events.h"

#include <gtest/gtest.h>

#include <QJsonDocument>
#include <QJsonObject>

#include "app/display/messages_list.h"
#include "event_schema.h"

namespace kestrel {
namespace {

using namespace std::chrono_literals;

std::string Latin1(std::string_view bytes) {
  std::string out;
  AppendLatin1Json(out, bytes);
  return out;
}

std::string Text(std::string_view text) {
  std::string out;
  AppendTextJson(out, text);
  return out;
}

// The string a JSON string literal stands for, as UTF-16 code units.
QString Parsed(const std::string& literal) {
  const std::string object = "{\"v\":" + literal + "}";
  QJsonParseError error;
  const QJsonDocument document = QJsonDocument::fromJson(QByteArray::fromStdString(object), &error);
  EXPECT_EQ(error.error, QJsonParseError::NoError) << literal;
  return document.object()["v"].toString();
}

TEST(JsonStringTest, EveryByteSurvivesAsItsLatin1Character) {
  std::string all;
  for (int b = 0; b < 256; ++b) all += char(b);
  const std::string json = Latin1(all);
  // Valid UTF-8 with no raw control characters in it.
  EXPECT_TRUE(QString::fromUtf8(json).toUtf8() == QByteArray::fromStdString(json));
  for (const char ch : json) EXPECT_GE(uint8_t(ch), 0x20) << "raw control byte in " << json;
  const QString back = Parsed(json);
  ASSERT_EQ(back.size(), 256);
  for (int b = 0; b < 256; ++b) EXPECT_EQ(back[b].unicode(), b) << b;
}

TEST(JsonStringTest, EscapesAtTheControlRangeBoundaries) {
  EXPECT_EQ(Latin1(std::string_view("\x00", 1)), "\"\\u0000\"");
  EXPECT_EQ(Latin1("\x1F"), "\"\\u001F\"");
  EXPECT_EQ(Latin1("\x20"), "\" \"");
  EXPECT_EQ(Latin1("\x7E"), "\"~\"");
  EXPECT_EQ(Latin1("\x7F"), "\"\\u007F\"");
  EXPECT_EQ(Latin1("\x9F"), "\"\\u009F\"");
  EXPECT_EQ(Latin1("\xA0"), "\"\xC2\xA0\"");
  EXPECT_EQ(Latin1("\xFF"), "\"\xC3\xBF\"");
  EXPECT_EQ(Latin1("\r\n\t\b\f\x0B"), "\"\\r\\n\\t\\b\\f\\u000B\"");
  EXPECT_EQ(Latin1("a\"b\\c"), "\"a\\\"b\\\\c\"");
}

TEST(JsonStringTest, UserTextKeepsValidUtf8AndTakesBrokenBytesAsLatin1) {
  EXPECT_EQ(Text("Wagen \xC3\x9C"
                 "1"),
            "\"Wagen \xC3\x9C"
            "1\"");                                                          // Ü
  EXPECT_EQ(Text("\xF0\x9F\x9A\x93"), "\"\xF0\x9F\x9A\x93\"");               // four bytes
  EXPECT_EQ(Text("\xC3"), "\"\xC3\x83\"");                                   // cut short at the end
  EXPECT_EQ(Text("\xC0\x80"), "\"\xC3\x80\\u0080\"");                        // overlong
  EXPECT_EQ(Text("\xED\xA0\x80"), "\"\xC3\xAD\xC2\xA0\\u0080\"");            // surrogate
  EXPECT_EQ(Text("\xF4\x90\x80\x80"), "\"\xC3\xB4\\u0090\\u0080\\u0080\"");  // past U+10FFFF
  EXPECT_EQ(Text("\xC2\x85"), "\"\\u0085\"");  // a valid C1 control is escaped too
}

TEST(IsoTimeTest, MillisecondsAndDayBoundaries) {
  using TimePoint = Clock::TimePoint;
  EXPECT_EQ(IsoTimeUtc(TimePoint{}), "1970-01-01T00:00:00.000Z");
  EXPECT_EQ(IsoTimeUtc(TimePoint{999ms}), "1970-01-01T00:00:00.999Z");
  EXPECT_EQ(IsoTimeUtc(TimePoint{1000ms}), "1970-01-01T00:00:01.000Z");
  EXPECT_EQ(IsoTimeUtc(TimePoint{-1ms}), "1969-12-31T23:59:59.999Z");
  // 2026-12-08 23:59:59.999 and the next millisecond.
  const TimePoint day_end{1796774399999ms};
  EXPECT_EQ(IsoTimeUtc(day_end), "2026-12-08T23:59:59.999Z");
  EXPECT_EQ(IsoTimeUtc(day_end + 1ms), "2026-12-09T00:00:00.000Z");
  // Sub-millisecond parts are cut, not rounded up into the next second.
  EXPECT_EQ(IsoTimeUtc(TimePoint{std::chrono::microseconds(1999999)}), "1970-01-01T00:00:01.999Z");
}

class EventJsonTest : public ::testing::Test {
 protected:
  EventHeader header_{7, Clock::TimePoint{1796774399123ms}, "north \xC3\xA9"};
};

TEST_F(EventJsonTest, RecordEventCarriesEveryByte) {
  const std::string bytes("\x75\xC0\x00\x1F\xFF\"", 6);
  const std::string line = RecordJson(header_, {"recording", bytes, 3, RecordOutcome::kAccepted});
  ASSERT_EQ(line.back(), '\n');
  ASSERT_EQ(line.find('\n'), line.size() - 1);
  const std::string body = line.substr(0, line.size() - 1);
  EXPECT_EQ(kestrel_test::CheckEvent(body), "");
  const QJsonObject o = QJsonDocument::fromJson(QByteArray::fromStdString(body)).object();
  EXPECT_EQ(o["type"].toString(), "record");
  EXPECT_EQ(o["seq"].toInteger(), 7);
  EXPECT_EQ(o["time"].toString(), "2026-12-08T23:59:59.123Z");
  EXPECT_EQ(o["station"].toString(), QString::fromUtf8("north \xC3\xA9"));
  EXPECT_EQ(o["bytes"].toInteger(), 6);
  EXPECT_EQ(o["corrections"].toInteger(), 3);
  EXPECT_EQ(o["hex"].toString(), "75C0001FFF22");
  EXPECT_EQ(o["data"].toString(), QString::fromLatin1(bytes.data(), 6));
  EXPECT_TRUE(o["accepted"].toBool());
  EXPECT_TRUE(o["reason"].isNull());
}

TEST_F(EventJsonTest, RejectedRecordWithoutCorrectionsGivesReasonAndNull) {
  const std::string line = RecordJson(header_, {"network", "\x75", -1, RecordOutcome::kTooShort});
  const QJsonObject o = QJsonDocument::fromJson(QByteArray::fromStdString(line)).object();
  EXPECT_TRUE(o["corrections"].isNull());
  EXPECT_FALSE(o["accepted"].toBool());
  EXPECT_EQ(o["reason"].toString(), "too short");
  EXPECT_EQ(OutcomeName(RecordOutcome::kDuplicate), "duplicate");
  EXPECT_EQ(OutcomeName(RecordOutcome::kBadStart), "bad start");
  EXPECT_EQ(OutcomeName(RecordOutcome::kDownloadedString), "downloaded string");
}

TEST_F(EventJsonTest, RuleEventListsActionsInOrderAndItsRow) {
  MessagesRow row;
  row.type = "Alarm";
  row.to = "Car \xC3\x9C";
  row.details = "FIRE\x01";
  row.received = "23:59:59";
  row.tag = 12;
  RuleMatch match{"Fire \xE2\x80\x94 all", "0101", true, kRuleBeep | kRuleAlert | kRuleMessagesRow,
                  &row};
  const std::string line = RuleJson(header_, {5, match});
  EXPECT_EQ(kestrel_test::CheckEvent(line.substr(0, line.size() - 1)), "");
  EXPECT_NE(line.find("\"actions\":[\"alert\",\"messages\",\"beep\"]"), std::string::npos);
  const QJsonObject o = QJsonDocument::fromJson(QByteArray::fromStdString(line)).object();
  EXPECT_EQ(o["rule"].toString(), QString::fromUtf8("Fire \xE2\x80\x94 all"));
  EXPECT_EQ(o["message"].toInteger(), 5);
  EXPECT_TRUE(o["continuation"].toBool());
  EXPECT_EQ(o["row"]["number"].toInteger(), 12);
  EXPECT_EQ(o["row"]["text"].toString(), QString::fromLatin1("FIRE\x01"));

  match.actions = 0;
  match.row = nullptr;
  const std::string bare = RuleJson(header_, {5, match});
  EXPECT_NE(bare.find("\"actions\":[],\"row\":null"), std::string::npos);
}

TEST_F(EventJsonTest, StatusEventsWriteOnlyTheirFields) {
  const std::string started = StatusJson(header_, {"started", "recording"});
  EXPECT_EQ(kestrel_test::CheckEvent(started.substr(0, started.size() - 1)), "");
  EXPECT_EQ(started.find("records"), std::string::npos);
  StatusEvent health{"health", ""};
  health.period_s = 60;
  health.records = 4;
  health.corrections = 2;
  const std::string line = StatusJson(header_, health);
  EXPECT_EQ(kestrel_test::CheckEvent(line.substr(0, line.size() - 1)), "");
  EXPECT_NE(line.find("\"records\":4,\"corrections\":2,\"quality\":null"), std::string::npos);
  EXPECT_EQ(line.find("\"text\""), std::string::npos);
}

}  // namespace
}  // namespace kestrel
