#pragma once

#include <cstdint>
#include <vector>

#include "mdcgen/signal.h"

namespace mdcgen {

// A sequence of transmissions and the rest that closes it.
struct Schedule {
  std::vector<Transmission> transmissions;
  double trailing_gap = 0.0;  // seconds
};

// About `seconds` of dispatch traffic for eight terminals and an all-call address, drawn from
// `seed` with record_composer.h: function-key downloads, dispatch screens, status changes and
// their confirmations, plate, name and premise queries with their replies, messages between
// units, bulletins, acknowledgements starting with 0x35 and the odd repeated transmission.
// Long messages go out as a "TX" record and continuation records, some of them only a fraction
// of a second apart, some with another terminal's record in between. Pauses are 1 to 6 seconds
// otherwise. Every frame reads back exactly (no false sync word).
Schedule DemoTraffic(double seconds, uint64_t seed);

}  // namespace mdcgen
