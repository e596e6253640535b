#include "mdcgen/demo_traffic.h"

#include <array>
#include <random>
#include <string_view>

namespace mdcgen {
namespace {

constexpr uint8_t kStartByte = 0x75;
constexpr size_t kTextStart = 19;
constexpr double kMinPause = 1.0;
constexpr double kMaxPause = 6.0;

constexpr std::array<std::array<uint8_t, 3>, 6> kTerminals = {{
    {0x00, 0x12, 0x07},
    {0x00, 0x12, 0x31},
    {0x00, 0x13, 0x02},
    {0x00, 0x21, 0x44},
    {0x00, 0x21, 0x58},
    {0x00, 0x30, 0x90},
}};

constexpr std::array<std::string_view, 14> kTexts = {
    "ACK",
    "ENROUTE",
    "ON SCENE",
    "CLEAR, AVAILABLE",
    "RESPOND 1400 BLK HARBOR RD, ALARM",
    "MEET AT STATION 3",
    "CALL DISPATCH BY PHONE",
    "RUN PLATE 4KTR219",
    "NO RECORD ON FILE",
    "TRAFFIC STOP MAIN ST AND 5TH AVE",
    "REPORT NUMBER 2231 FILED",
    "OUT OF SERVICE 30 MIN",
    "WELFARE CHECK 88 ELM CT, CALLER ADVISES NO ANSWER AT DOOR",
    "SHIFT CHANGE AT 1900, RETURN VEHICLES TO YARD",
};

double Uniform(std::mt19937_64& engine) { return (engine() >> 11) * 0x1.0p-53; }

Bytes DemoFrame(const std::array<uint8_t, 3>& terminal, uint8_t sequence, std::string_view text) {
  Bytes frame(kTextStart, 0);
  frame[0] = kStartByte;
  frame[1] = terminal[0];
  frame[2] = terminal[1];
  frame[3] = terminal[2];
  frame[4] = sequence;
  frame[12] = 'T';
  frame[13] = 'X';
  frame.insert(frame.end(), text.begin(), text.end());
  const size_t blocks = (frame.size() + 2 + kBlockBytes - 1) / kBlockBytes;
  frame[6] = static_cast<uint8_t>(126 + blocks);
  unsigned sum = 0;
  for (uint8_t byte : frame) sum += byte;
  frame.push_back(sum & 0xFF);
  frame.push_back(((sum >> 8) & 0x7F) | 0x80);
  return frame;
}

}  // namespace

Schedule DemoTraffic(double seconds, uint64_t seed) {
  std::mt19937_64 engine(seed);
  Schedule schedule;
  double elapsed = 0.0;
  uint8_t sequence = 0;
  while (true) {
    const double pause = kMinPause + (kMaxPause - kMinPause) * Uniform(engine);
    const auto& terminal = kTerminals[engine() % kTerminals.size()];
    const std::string_view text = kTexts[engine() % kTexts.size()];
    sequence = sequence == 0xFF ? 1 : sequence + 1;
    Bytes frame = DemoFrame(terminal, sequence, text);
    const double length = EncodedFrameBits(frame.size()) / kBitRate;
    // Leaves at least the shortest pause after the last frame.
    if (elapsed + pause + length + kMinPause > seconds) break;
    schedule.transmissions.push_back({std::move(frame), pause});
    elapsed += pause + length;
  }
  schedule.trailing_gap = seconds > elapsed ? seconds - elapsed : 0.0;
  return schedule;
}

}  // namespace mdcgen
