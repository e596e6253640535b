#include "app/platform/clock.h"

namespace kestrel {

std::tm LocalTime(Clock::TimePoint time) {
  const std::time_t seconds = Clock::TimePoint::clock::to_time_t(time);
  std::tm local{};
#ifdef _WIN32
  localtime_s(&local, &seconds);
#else
  localtime_r(&seconds, &local);
#endif
  return local;
}

Clock::TimePoint SystemClock::Now() const { return std::chrono::system_clock::now(); }

}  // namespace kestrel
