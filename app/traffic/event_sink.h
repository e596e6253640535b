#pragma once

#include <cstdint>
#include <string_view>

namespace kestrel {

struct MessagesRow;

// Why a record was or was not taken as traffic.
enum class RecordOutcome {
  kAccepted,
  kTooShort,          // fewer than 14 bytes
  kBadStart,          // first byte neither 0x75 nor an allowed 0x35
  kDownloadedString,  // dropped by IgnoreDownloadedStrings
  kDuplicate,         // the terminal's last record again
};

// The actions a matching rule performed, as bits.
enum RuleAction : uint32_t {
  kRuleAlert = 1u << 0,
  kRuleMessagesRow = 1u << 1,
  kRuleEMail = 1u << 2,
  kRuleLogFile = 1u << 3,
  kRulePrinter = 1u << 4,
  kRuleSound = 1u << 5,
  kRuleBeep = 1u << 6,
};

// One rule that matched a message.
struct RuleMatch {
  std::string_view rule;      // its name
  std::string_view terminal;  // the message's terminal address
  bool continuation = false;
  uint32_t actions = 0;              // RuleAction bits actually performed
  const MessagesRow* row = nullptr;  // the Messages row it wrote; null when it wrote none
};

// Observes what record and rule processing decide, for the station's outputs. Called
// synchronously on the processing thread, in processing order: a record, then the message it
// made, then the rules that matched it. Implementations must not block or call back into the
// processing. Views are valid only for the call.
class EventSink {
 public:
  virtual ~EventSink() = default;
  // One record as processing took it (each piece of a split record on its own), after the
  // checks and before the trailer is trimmed. `corrections` is -1 when the source gives none.
  virtual void OnRecord(std::string_view record, int32_t corrections, RecordOutcome outcome) = 0;
  // A record started (`continuation` false) or extended a terminal's message; `message` is the
  // whole message so far, 12-byte header included.
  virtual void OnMessage(std::string_view address, std::string_view alias, std::string_view message,
                         bool continuation) = 0;
  virtual void OnRuleMatch(const RuleMatch& match) = 0;
};

}  // namespace kestrel
