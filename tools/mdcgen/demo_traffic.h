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

// About `seconds` of plain-text traffic to a handful of terminals, drawn from `seed`: short
// messages with pauses of one to six seconds. A stand-in until records are composed properly.
// Layout by byte index: 0 start (0x75), 1-3 terminal address, 4 sequence number, 6 length code
// (126 + blocks), 7 trailer code 0, 12-13 "TX", 19 on the text, then a two-byte checksum whose
// last byte is never zero.
Schedule DemoTraffic(double seconds, uint64_t seed);

}  // namespace mdcgen
