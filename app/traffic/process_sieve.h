#pragma once

#include <string>

#include "app/display/capture.h"
#include "app/display/mdt_display.h"
#include "app/display/raw_data.h"
#include "app/profile/report_error.h"
#include "app/profile/settings.h"
#include "app/traffic/event_sink.h"
#include "app/traffic/main_view.h"
#include "app/traffic/messages_class.h"
#include "app/traffic/terminal_aliases.h"
#include "app/traffic/traffic_class.h"

namespace kestrel {

// Everything a decoded record reaches.
struct TrafficServices {
  const Settings& settings;
  MainView& view;
  TrafficClass& traffic;
  MessagesClass& messages;
  const TerminalAliases& aliases;
  RuleProcessor& rules;
  CaptureWriter& capture;
  RawData& raw_data;
  MdtDisplay& mdt;
  ErrorReporter& errors;
};

// Turns decoded records into terminal traffic: validates and splits them, finds their terminal,
// trims the trailer, drops repeats, stores them and hands them to the views, capture and rules.
class TrafficProcessor {
 public:
  explicit TrafficProcessor(const TrafficServices& services) : s_(services) {}

  // One decoded record, as received from the decoder or the feed. `corrections` is the
  // decoder's count for it, -1 when the source gives none.
  void ProcessSieve(const std::string& record, int32_t corrections = -1);

  // Borrowed; null (the default) observes nothing.
  void SetEventSink(EventSink* events) { events_ = events; }

 private:
  // A record that holds no further record: everything after the split.
  void ProcessPiece(std::string_view received, int32_t corrections);
  void ShowReceived(const char* what, const std::string& address, const std::string& alias);

  void Report(std::string_view record, int32_t corrections, RecordOutcome outcome) {
    if (events_ != nullptr) events_->OnRecord(record, corrections, outcome);
  }

  TrafficServices s_;
  EventSink* events_ = nullptr;
};

}  // namespace kestrel
