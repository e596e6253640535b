#pragma once

#include <chrono>
#include <ctime>

namespace kestrel {

// Where the program reads the time, so that minute and day boundaries are tested without waiting.
class Clock {
 public:
  using TimePoint = std::chrono::system_clock::time_point;
  virtual ~Clock() = default;
  virtual TimePoint Now() const = 0;
};

// The calendar fields of a time in the local time zone.
std::tm LocalTime(Clock::TimePoint time);

class SystemClock : public Clock {
 public:
  TimePoint Now() const override;
};

// A clock that stands still until told to move.
class ManualClock : public Clock {
 public:
  explicit ManualClock(TimePoint now = {}) : now_(now) {}
  TimePoint Now() const override { return now_; }
  void Set(TimePoint now) { now_ = now; }
  void Advance(std::chrono::system_clock::duration by) { now_ += by; }

 private:
  TimePoint now_;
};

}  // namespace kestrel
