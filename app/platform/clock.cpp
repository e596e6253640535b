#include "app/platform/clock.h"

namespace kestrel {

Clock::TimePoint SystemClock::Now() const { return std::chrono::system_clock::now(); }

}  // namespace kestrel
