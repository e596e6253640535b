#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "app/platform/clock.h"

namespace kestrel {

// One serialised event as the outputs receive it.
struct EventLine {
  std::string_view type;  // "record", "message", "rule", "status"
  Clock::TimePoint time;  // the event's time (the file output's UTC day)
  std::string_view json;  // one JSON object ending in "\n"
};

// An output's state and counters, as the Outputs window shows them.
struct OutputStatus {
  std::string name;       // "File", "TCP", "MQTT"
  std::string state;      // e.g. "writing kestrel-20261208.jsonl", "2 clients", "connected"
  uint64_t written = 0;   // lines handed on (to the file, a client, the broker)
  uint64_t dropped = 0;   // lines lost: failures, full queues, dropped clients' backlog
  uint64_t failures = 0;  // failures reported
};

// Where an output reports a failure or a recovery: one line for the program log.
using OutputReport = std::function<void(std::string_view line)>;

// An event destination. Everything is called on the processing thread; Write never waits for a
// slow or failing destination: each output keeps its own bounded queue and retries on its own.
class Output {
 public:
  virtual ~Output() = default;
  virtual void Write(const EventLine& line) = 0;
  // SIGHUP: files are closed and opened again by name at the next line.
  virtual void Reopen() {}
  // The program is ending: hands on what is queued, waiting at most `wait`.
  virtual void Finish(std::chrono::milliseconds /*wait*/) {}
  virtual OutputStatus Status() const = 0;
};

}  // namespace kestrel
