#include "app/outputs/station.h"

namespace kestrel {
namespace {

constexpr uint32_t kWindowOnly =
    kRuleAlert | kRuleMessagesRow | kRulePrinter | kRuleSound | kRuleBeep;

}  // namespace

std::string SourceName(const Settings& settings, bool playing) {
  switch (settings.SieveSource) {
    case kSieveSourceSoundCard:
      return playing ? "recording" : "sound card";
    case kSieveSourceNetwork:
      return "network";
    case kSieveSourceCOMPort:
      return settings.COMPortDevice == kCOMPortDeviceRM100 ? "RM100" : "data slicer";
    default:
      return "none";
  }
}

Station::Station(const Clock& clock, std::string name, std::function<std::string()> source)
    : clock_(clock), name_(std::move(name)), source_(std::move(source)) {}

EventHeader Station::Next() { return {++seq_, clock_.Now(), name_}; }

template <typename Json>
void Station::Emit(std::string_view type, Json json) {
  // Without outputs (the desktop's default) nothing is serialised.
  if (outputs_.empty()) return;
  const EventHeader header = Next();
  const std::string text = json(header);
  const EventLine line{type, header.time, text};
  for (const auto& output : outputs_) output->Write(line);
}

void Station::OnRecord(std::string_view record, int32_t corrections, RecordOutcome outcome) {
  ++records_;
  if (corrections > 0) corrections_ += corrections;
  Emit("record", [&](const EventHeader& header) {
    const std::string source = source_ ? source_() : std::string();
    return RecordJson(header, {source, record, corrections, outcome});
  });
}

void Station::OnMessage(std::string_view address, std::string_view alias, std::string_view message,
                        bool continuation) {
  const std::string terminal(address);
  uint64_t& number = current_message_[terminal];
  if (!continuation || number == 0) number = ++messages_;
  last_message_ = number;
  Emit("message", [&](const EventHeader& header) {
    return MessageJson(header, {number, address, alias, message, continuation});
  });
}

void Station::OnRuleMatch(const RuleMatch& match) {
  Emit("rule", [&](const EventHeader& header) { return RuleJson(header, {last_message_, match}); });
  if (!notice_) return;
  for (uint32_t bit = 1; bit <= kRuleBeep; bit <<= 1) {
    if ((match.actions & bit & kWindowOnly) == 0) continue;
    std::string line = "rule \"";
    line += match.rule;
    line += "\": ";
    line += RuleActionName(bit);
    notice_(line);
  }
}

void Station::Status(std::string_view state, std::string_view text) {
  StatusEvent event;
  event.state = state;
  event.text = text;
  Emit("status", [&](const EventHeader& header) { return StatusJson(header, event); });
}

void Station::Health(int32_t period_s, int32_t quality) {
  StatusEvent event;
  event.state = "health";
  event.period_s = period_s;
  event.records = records_;
  event.corrections = corrections_;
  event.quality = quality;
  records_ = 0;
  corrections_ = 0;
  Emit("status", [&](const EventHeader& header) { return StatusJson(header, event); });
}

void Station::Reopen() {
  for (const auto& output : outputs_) output->Reopen();
}

void Station::Finish(std::chrono::milliseconds wait) {
  for (const auto& output : outputs_) output->Finish(wait);
}

void Station::ClearOutputs(std::chrono::milliseconds wait) {
  Finish(wait);
  outputs_.clear();
}

std::vector<OutputStatus> Station::Statuses() const {
  std::vector<OutputStatus> statuses;
  for (const auto& output : outputs_) statuses.push_back(output->Status());
  return statuses;
}

}  // namespace kestrel
