#include "app/outputs/json_events.h"

#include <cstdio>
#include <ctime>

#include "app/display/mdt_text.h"
#include "app/display/messages_list.h"
#include "app/traffic/record.h"

namespace kestrel {
namespace {

void AppendCodePoint(std::string& out, uint32_t c) {
  if (c < 0x20 || (c >= 0x7F && c <= 0x9F)) {
    static constexpr char kShort[] = "btnvfr";  // 0x08..0x0D, 'v' unused by JSON
    if (c >= 0x08 && c <= 0x0D && c != 0x0B) {
      out += '\\';
      out += kShort[c - 0x08];
      return;
    }
    char escape[8];
    std::snprintf(escape, sizeof escape, "\\u%04X", unsigned(c));
    out += escape;
  } else if (c == '"' || c == '\\') {
    out += '\\';
    out += char(c);
  } else if (c < 0x80) {
    out += char(c);
  } else if (c < 0x800) {
    out += char(0xC0 | (c >> 6));
    out += char(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    out += char(0xE0 | (c >> 12));
    out += char(0x80 | ((c >> 6) & 0x3F));
    out += char(0x80 | (c & 0x3F));
  } else {
    out += char(0xF0 | (c >> 18));
    out += char(0x80 | ((c >> 12) & 0x3F));
    out += char(0x80 | ((c >> 6) & 0x3F));
    out += char(0x80 | (c & 0x3F));
  }
}

// The length of the valid UTF-8 sequence at `at` and its code point; 0 when there is none.
size_t Utf8Sequence(std::string_view text, size_t at, uint32_t& c) {
  const auto byte = [&](size_t i) { return uint8_t(text[i]); };
  const uint8_t lead = byte(at);
  size_t length;
  uint32_t least;
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2, c = lead & 0x1F, least = 0x80;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3, c = lead & 0x0F, least = 0x800;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4, c = lead & 0x07, least = 0x10000;
  } else {
    return 0;
  }
  if (at + length > text.size()) return 0;
  for (size_t i = 1; i < length; ++i) {
    if ((byte(at + i) & 0xC0) != 0x80) return 0;
    c = (c << 6) | (byte(at + i) & 0x3F);
  }
  if (c < least || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) return 0;
  return length;
}

std::string Begin(std::string_view type, const EventHeader& header) {
  std::string out = "{\"type\":\"";
  out += type;
  out += "\",\"seq\":";
  out += std::to_string(header.seq);
  out += ",\"time\":\"";
  out += IsoTimeUtc(header.time);
  out += "\",\"station\":";
  AppendTextJson(out, header.station);
  return out;
}

void Field(std::string& out, std::string_view name) {
  out += ",\"";
  out += name;
  out += "\":";
}

void Number(std::string& out, std::string_view name, int64_t value) {
  Field(out, name);
  out += std::to_string(value);
}

void Boolean(std::string& out, std::string_view name, bool value) {
  Field(out, name);
  out += value ? "true" : "false";
}

std::string End(std::string out) {
  out += "}\n";
  return out;
}

}  // namespace

void AppendLatin1Json(std::string& out, std::string_view bytes) {
  out += '"';
  for (const char ch : bytes) AppendCodePoint(out, uint8_t(ch));
  out += '"';
}

void AppendTextJson(std::string& out, std::string_view text) {
  out += '"';
  for (size_t at = 0; at < text.size();) {
    uint32_t c = 0;
    const size_t length = uint8_t(text[at]) < 0x80 ? 0 : Utf8Sequence(text, at, c);
    if (length == 0) {
      AppendCodePoint(out, uint8_t(text[at]));
      ++at;
    } else {
      AppendCodePoint(out, c);
      at += length;
    }
  }
  out += '"';
}

std::string IsoTimeUtc(Clock::TimePoint time) {
  const auto since = time.time_since_epoch();
  auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(since).count();
  int64_t seconds = ms / 1000;
  int64_t millis = ms % 1000;
  if (millis < 0) millis += 1000, seconds -= 1;
  const std::time_t t = std::time_t(seconds);
  std::tm utc{};
  gmtime_r(&t, &utc);
  char text[64];
  std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d.%03dZ", utc.tm_year + 1900,
                utc.tm_mon + 1, utc.tm_mday, utc.tm_hour, utc.tm_min, utc.tm_sec, int(millis));
  return text;
}

std::string_view OutcomeName(RecordOutcome outcome) {
  switch (outcome) {
    case RecordOutcome::kAccepted:
      return "accepted";
    case RecordOutcome::kTooShort:
      return "too short";
    case RecordOutcome::kBadStart:
      return "bad start";
    case RecordOutcome::kDownloadedString:
      return "downloaded string";
    case RecordOutcome::kDuplicate:
      return "duplicate";
  }
  return "unknown";
}

std::string_view RuleActionName(uint32_t bit) {
  switch (bit) {
    case kRuleAlert:
      return "alert";
    case kRuleMessagesRow:
      return "messages";
    case kRuleEMail:
      return "email";
    case kRuleLogFile:
      return "log file";
    case kRulePrinter:
      return "printer";
    case kRuleSound:
      return "sound";
    case kRuleBeep:
      return "beep";
    default:
      return "";
  }
}

std::string RecordJson(const EventHeader& header, const RecordEvent& event) {
  std::string out = Begin("record", header);
  Field(out, "source");
  AppendTextJson(out, event.source);
  Number(out, "bytes", int64_t(event.bytes.size()));
  Field(out, "corrections");
  out += event.corrections < 0 ? "null" : std::to_string(event.corrections);
  Field(out, "hex");
  out += '"' + HexText(event.bytes) + '"';
  Field(out, "data");
  AppendLatin1Json(out, event.bytes);
  Boolean(out, "accepted", event.outcome == RecordOutcome::kAccepted);
  Field(out, "reason");
  if (event.outcome == RecordOutcome::kAccepted) {
    out += "null";
  } else {
    out += '"';
    out += OutcomeName(event.outcome);
    out += '"';
  }
  return End(std::move(out));
}

std::string MessageJson(const EventHeader& header, const MessageEvent& event) {
  std::string out = Begin("message", header);
  Number(out, "number", int64_t(event.number));
  Field(out, "terminal");
  AppendLatin1Json(out, event.terminal);
  Field(out, "alias");
  AppendTextJson(out, event.alias);
  Boolean(out, "continuation", event.continuation);
  Field(out, "text");
  AppendLatin1Json(out, FormatData(RecordBody(event.message)));
  return End(std::move(out));
}

std::string RuleJson(const EventHeader& header, const RuleEvent& event) {
  const RuleMatch& match = event.match;
  std::string out = Begin("rule", header);
  Field(out, "rule");
  AppendTextJson(out, match.rule);
  Number(out, "message", int64_t(event.message));
  Field(out, "terminal");
  AppendLatin1Json(out, match.terminal);
  Boolean(out, "continuation", match.continuation);
  Field(out, "actions");
  out += '[';
  bool first = true;
  for (uint32_t bit = 1; bit <= kRuleBeep; bit <<= 1) {
    if ((match.actions & bit) == 0) continue;
    if (!first) out += ',';
    first = false;
    out += '"';
    out += RuleActionName(bit);
    out += '"';
  }
  out += ']';
  Field(out, "row");
  if (match.row == nullptr) {
    out += "null";
  } else {
    out += "{\"number\":" + std::to_string(match.row->tag) + ",\"type\":";
    AppendTextJson(out, match.row->type);
    out += ",\"to\":";
    AppendTextJson(out, match.row->to);
    out += ",\"text\":";
    AppendLatin1Json(out, match.row->details);
    out += ",\"received\":";
    AppendLatin1Json(out, match.row->received);
    out += '}';
  }
  return End(std::move(out));
}

std::string StatusJson(const EventHeader& header, const StatusEvent& event) {
  std::string out = Begin("status", header);
  Field(out, "state");
  AppendTextJson(out, event.state);
  if (!event.text.empty()) {
    Field(out, "text");
    AppendTextJson(out, event.text);
  }
  if (event.state == "health") {
    Number(out, "period_s", event.period_s);
    Number(out, "records", event.records);
    Number(out, "corrections", event.corrections);
    Field(out, "quality");
    out += event.quality < 0 ? "null" : std::to_string(event.quality);
  }
  return End(std::move(out));
}

}  // namespace kestrel
