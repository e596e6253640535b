#pragma once

#include <functional>
#include <string>
#include <string_view>

namespace kestrel {

// The program's log: one line per event that the user may need later and that no window shows
// for long (a mail refused, a log file that cannot be written, a profile value ignored). Lines go
// to standard error with the local time, so a terminal or a service journal keeps them.
// Safe to call from any thread; `text` is one line without its line break.
void LogProgramEvent(std::string_view text);

// Sends the log's lines to `sink` (without the time) instead of standard error while it lives,
// so tests can read them. Not nested across threads; the previous sink comes back on destruction.
class ScopedProgramLogSink {
 public:
  explicit ScopedProgramLogSink(std::function<void(const std::string&)> sink);
  ~ScopedProgramLogSink();
  ScopedProgramLogSink(const ScopedProgramLogSink&) = delete;
  ScopedProgramLogSink& operator=(const ScopedProgramLogSink&) = delete;

 private:
  std::function<void(const std::string&)> previous_;
};

}  // namespace kestrel
