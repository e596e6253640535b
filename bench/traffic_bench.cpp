// Records per second through the whole of traffic processing, with the views as plain fakes.
#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <string>
#include <vector>

#include "app/traffic/process_sieve.h"
#include "support/fake_main_view.h"
#include "support/records.h"

namespace {

using namespace kestrel;

struct NoRules : RuleProcessor {
  void ProcessRules(const std::string& message, std::optional<int32_t>) override {
    benchmark::DoNotOptimize(message.data());
  }
};

// The program's processing with every view headless.
struct Kestrel {
  Settings settings;
  kestrel_test::FakeMainView view;
  TerminalAliases aliases;
  TrafficClass traffic{settings, aliases};
  MessagesClass messages;
  NoRules rules;
  ManualClock clock;
  RecordingMessageBoxes boxes;
  CaptureWriter capture{settings, clock, boxes};
  RawData raw_data;
  PlainTextWindow mdt_window;
  MdtDisplay mdt{settings, view, traffic, mdt_window};
  ErrorReporter errors{settings, boxes};
  TrafficProcessor processor{
      {settings, view, traffic, messages, aliases, rules, capture, raw_data, mdt, errors}};

  Kestrel() { view.selected_terminal = "<all>"; }
};

double MaxRssMegabytes() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return double(usage.ru_maxrss) / 1024.0;
}

const std::string kScreen =
    "\x1b[2;1HUNIT 12 STATUS: ENROUTE\r\x1b[0mCALL 4471 ALARM 1200 MAIN ST\r-\x1b[39b\rCOMMENTS:";

void BM_ThousandTerminals(benchmark::State& state) {
  Kestrel k;
  std::vector<std::string> records;
  for (int round = 0; round < 31; ++round) {
    for (uint16_t t = 0; t < 1000; ++t) {
      records.push_back(kestrel_test::Record(t, true, kScreen + std::to_string(round)));
      if (round == 0) {
        k.aliases.Assign(GetTerminalAddress(records.back(), k.settings),
                         "Car " + std::to_string(t));
      }
    }
  }
  // The first 30 rounds fill every terminal's ring; the benchmark runs over full rings.
  for (size_t i = 0; i < 30000; ++i) k.processor.ProcessSieve(records[i]);
  size_t next = 0;
  for (auto _ : state) {
    k.processor.ProcessSieve(records[next]);
    next = next + 1 == records.size() ? 0 : next + 1;
  }
  state.SetItemsProcessed(state.iterations());
  state.counters["terminals"] = k.traffic.TerminalCount();
  state.counters["max_rss_mb"] = MaxRssMegabytes();
}
BENCHMARK(BM_ThousandTerminals);

void BM_EndlessContinuation(benchmark::State& state) {
  Kestrel k;
  k.processor.ProcessSieve(kestrel_test::Record(0x0101, true, kScreen));
  const std::string more(100, 'x');
  int64_t sequence = 0;
  for (auto _ : state) {
    // Each record differs from the last, so none is dropped as a repeat.
    k.processor.ProcessSieve(
        kestrel_test::Record(0x0101, false, more + std::to_string(sequence++)));
  }
  state.SetItemsProcessed(state.iterations());
  state.counters["message_length"] = double(k.traffic.RetrieveLast("0101").size());
  state.counters["max_rss_mb"] = MaxRssMegabytes();
}
BENCHMARK(BM_EndlessContinuation)->Iterations(100000);

}  // namespace
