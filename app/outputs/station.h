#pragma once

#include <functional>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "app/outputs/json_events.h"
#include "app/outputs/output.h"
#include "app/profile/settings.h"
#include "app/traffic/event_sink.h"

namespace kestrel {

// The data source's name in record events: "sound card" (or "recording" when `playing`),
// "network", "RM100", "data slicer"; "none" for an unknown SieveSource.
std::string SourceName(const Settings& settings, bool playing);

// The station's event stream: turns what processing observes into numbered JSON Lines events
// and hands each to every output. Runs on the processing thread; outputs are owned.
class Station : public EventSink {
 public:
  // `source` names the data source of a record event at the time it arrives.
  Station(const Clock& clock, std::string name, std::function<std::string()> source);

  void AddOutput(std::unique_ptr<Output> output) { outputs_.push_back(std::move(output)); }
  void SetName(std::string name) { name_ = std::move(name); }
  void SetSource(std::function<std::string()> source) { source_ = std::move(source); }
  // Called for each rule action that only a window could show (alert, Messages row, printer,
  // sound, beep) with a line naming the rule, e.g. `rule "Alarm": alert`.
  void SetWindowActionNotice(std::function<void(std::string_view)> notice) {
    notice_ = std::move(notice);
  }

  void OnRecord(std::string_view record, int32_t corrections, RecordOutcome outcome) override;
  void OnMessage(std::string_view address, std::string_view alias, std::string_view message,
                 bool continuation) override;
  void OnRuleMatch(const RuleMatch& match) override;

  // A status event: "started", "stopped" or "error" with its text.
  void Status(std::string_view state, std::string_view text);
  // The decode health event over the records since the last one; `quality` -1 when unknown.
  void Health(int32_t period_s, int32_t quality);

  void Reopen();
  void Finish(std::chrono::milliseconds wait);
  // Finishes and drops every output, for a profile that brings its own.
  void ClearOutputs(std::chrono::milliseconds wait);
  std::vector<OutputStatus> Statuses() const;
  // Events handed to the outputs so far (the last seq).
  uint64_t EventCount() const { return seq_; }
  const std::string& Name() const { return name_; }

 private:
  EventHeader Next();
  // Numbers, serialises (json: EventHeader -> line) and hands on one event.
  template <typename Json>
  void Emit(std::string_view type, Json json);

  const Clock& clock_;
  std::string name_;
  std::function<std::string()> source_;
  std::function<void(std::string_view)> notice_;
  std::vector<std::unique_ptr<Output>> outputs_;
  uint64_t seq_ = 0;
  uint64_t messages_ = 0;
  std::unordered_map<std::string, uint64_t> current_message_;  // terminal -> its message
  uint64_t last_message_ = 0;
  int64_t records_ = 0;
  int64_t corrections_ = 0;
};

}  // namespace kestrel
