#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "app/platform/clock.h"
#include "app/traffic/event_sink.h"

namespace kestrel {

// The station's events as JSON Lines: one object per line, UTF-8, fields in a fixed order
// ("type", "seq", "time", "station" first). docs/events.md describes every field.

// Appends `bytes` as a JSON string (quotes included), each byte taken as a Latin-1 character,
// so radio bytes of any value become valid UTF-8. Control characters (0x00-0x1F, 0x7F-0x9F),
// '"' and '\' are escaped; nothing is dropped.
void AppendLatin1Json(std::string& out, std::string_view bytes);
// As AppendLatin1Json for a user text (rule name, alias) that is UTF-8; a byte that is not part
// of a valid UTF-8 sequence is taken as Latin-1, so the result is valid UTF-8 either way.
void AppendTextJson(std::string& out, std::string_view text);
// "YYYY-MM-DDThh:mm:ss.mmmZ".
std::string IsoTimeUtc(Clock::TimePoint time);
// "accepted", "too short", "bad start", "downloaded string", "duplicate".
std::string_view OutcomeName(RecordOutcome outcome);

// What every event starts with.
struct EventHeader {
  uint64_t seq;  // 1, 2, ... per station run; shared by every output
  Clock::TimePoint time;
  std::string_view station;
};

struct RecordEvent {
  std::string_view source;  // "sound card", "recording", "network", "RM100", "data slicer"
  std::string_view bytes;
  int32_t corrections;  // -1: unknown (null)
  RecordOutcome outcome;
};

struct MessageEvent {
  uint64_t number;  // the station's message number; a continuation repeats it
  std::string_view terminal;
  std::string_view alias;
  std::string_view message;  // the whole message so far, header included
  bool continuation;
};

struct RuleEvent {
  uint64_t message;  // the number of the message it matched
  const RuleMatch& match;
};

// Monitoring changes and decode health. Only the fields a state uses are written.
struct StatusEvent {
  std::string_view state;  // "started", "stopped", "error", "health"
  std::string_view text;   // the reason or error text; empty: no "text" field
  // "health": counts over the last `period_s` seconds; quality -1 is null.
  int32_t period_s = 0;
  int64_t records = 0;
  int64_t corrections = 0;
  int32_t quality = -1;
};

// Each answers one line, ending in "\n".
std::string RecordJson(const EventHeader& header, const RecordEvent& event);
std::string MessageJson(const EventHeader& header, const MessageEvent& event);
std::string RuleJson(const EventHeader& header, const RuleEvent& event);
std::string StatusJson(const EventHeader& header, const StatusEvent& event);

// The action names of RuleAction bits, in bit order: "alert", "messages", "email", "log file",
// "printer", "sound", "beep".
std::string_view RuleActionName(uint32_t bit);

}  // namespace kestrel
