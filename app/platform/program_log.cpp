#include "app/platform/program_log.h"

#include <cstdio>
#include <ctime>
#include <mutex>
#include <utility>

namespace kestrel {
namespace {

std::mutex& LogMutex() {
  static std::mutex mutex;
  return mutex;
}

std::function<void(const std::string&)>& Sink() {
  static std::function<void(const std::string&)> sink;
  return sink;
}

}  // namespace

void LogProgramEvent(std::string_view text) {
  std::string line(text);
  // One event, one line: a line break inside would let a value forge further lines.
  for (char& c : line) {
    if (c == '\n' || c == '\r') c = ' ';
  }
  std::lock_guard lock(LogMutex());
  if (Sink()) {
    Sink()(line);
    return;
  }
  std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  char stamp[32];
  std::strftime(stamp, sizeof stamp, "%Y-%m-%d %H:%M:%S", &local);
  std::fprintf(stderr, "%s kestrel: %s\n", stamp, line.c_str());
  std::fflush(stderr);
}

ScopedProgramLogSink::ScopedProgramLogSink(std::function<void(const std::string&)> sink) {
  std::lock_guard lock(LogMutex());
  previous_ = std::exchange(Sink(), std::move(sink));
}

ScopedProgramLogSink::~ScopedProgramLogSink() {
  std::lock_guard lock(LogMutex());
  Sink() = std::move(previous_);
}

}  // namespace kestrel
