// Wildcard matching: a pathological pattern against a long value, and whole matching passes of
// a hundred rules over long messages (messages per second).
#include <benchmark/benchmark.h>

#include <random>
#include <string>
#include <vector>

#include "app/rules/rules_class.h"

namespace {

using namespace kestrel;

// Backtracking matchers take exponential time on these; ours must not.
void BM_PathologicalPattern(benchmark::State& state, const char* pattern) {
  const std::string value(16000, 'a');
  bool malformed = false;
  for (auto _ : state) {
    benchmark::DoNotOptimize(MatchesPattern(value, pattern, malformed));
  }
  state.counters["value_length"] = double(value.size());
}
BENCHMARK_CAPTURE(BM_PathologicalPattern, stars, "*a*a*a*a*a*a*a*a*b")
    ->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_PathologicalPattern, stars_and_runs, "*a?a*aa?aa*aaa?aaa*aaaa?b*")
    ->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_PathologicalPattern, long_run, "*aaaaaaaaaaaaaaaaaaaaaaaaaaaaaa?b*")
    ->Unit(benchmark::kMicrosecond);

const char* const kWords[] = {
    "UNIT",    "STATUS",  "ENROUTE", "ONSCENE", "AVAILABLE", "CALL",   "ALARM",      "MAIN",
    "ST",      "AVE",     "RESPOND", "CODE",    "ENGINE",    "LADDER", "MEDIC",      "BATTALION",
    "FIRE",    "SMOKE",   "ALLEY",   "VEHICLE", "PLATE",     "WANTED", "CLEAR",      "NEGATIVE",
    "SUBJECT", "SUSPECT", "MALE",    "FEMALE",  "WHITE",     "BLACK",  "NORTHBOUND", "HOLD",
    "COPY",    "TRAFFIC", "STOP",    "REPORT",  "WARRANT",   "CHECK",  "OFFICER",    "ASSIST"};

// Dispatch-like screen text: words, numbers and line ends, `length` bytes.
std::string Message(std::mt19937& random, size_t length) {
  std::string text;
  while (text.size() < length) {
    text += kWords[random() % std::size(kWords)];
    const unsigned r = random() % 10;
    if (r < 3) text += ' ' + std::to_string(random() % 10000);
    text += r == 9 ? "\r\n" : " ";
  }
  text.resize(length);
  return text;
}

// Rules as users write them: words that may or may not be there, joined by stars, with digits
// and single-character wildcards here and there.
std::vector<std::string> Patterns(std::mt19937& random) {
  const char* const kRare[] = {"HAZMAT",   "STRUCTURE", "EXTRICATION", "PURSUIT", "SHOTS",
                               "DROWNING", "COLLAPSE",  "EXPLOSION",   "HOSTAGE", "AIRCRAFT"};
  std::vector<std::string> patterns;
  for (int i = 0; i < 100; ++i) {
    std::string pattern = "*";
    for (int k = 2 + int(random() % 3); k > 0; --k) {
      // Most rules look for something the traffic does not carry, so they read to the end;
      // every tenth looks only for common words.
      std::string word = i % 10 && random() % 4 ? kRare[random() % std::size(kRare)]
                                                : kWords[random() % std::size(kWords)];
      if (random() % 3 == 0) word[random() % word.size()] = '?';
      if (random() % 5 == 0) word += " ##";
      pattern += word + "*";
    }
    patterns.push_back(pattern);
  }
  return patterns;
}

void BM_HundredRules(benchmark::State& state) {
  Settings settings;
  RecordingMessageBoxes boxes;
  ErrorReporter errors(settings, boxes);
  RulesClass rules(errors);
  std::mt19937 random(42);
  int n = 0;
  for (const std::string& pattern : Patterns(random)) {
    rules.Add("Rule " + std::to_string(++n));
    Rule& rule = *rules.Current();
    rule.Active = true;
    rule.MessageBody = pattern;
    if (n % 10 == 0) rule.SentTo = n % 20 ? "12##" : "unit*";
  }
  const size_t length = size_t(state.range(0));
  std::vector<std::string> messages;
  for (int i = 0; i < 16; ++i) messages.push_back(Message(random, length));

  size_t next = 0;
  int64_t matches = 0;
  for (auto _ : state) {
    // A new message each time, as in real traffic: nothing carries over between passes.
    const std::string& text = messages[next];
    next = (next + 1) % messages.size();
    rules.InitMatch();
    while (rules.Match("1234", "Unit 7", text)) ++matches;
  }
  state.SetItemsProcessed(state.iterations());
  state.counters["matches_per_message"] = double(matches) / double(state.iterations());
  if (!boxes.shown.empty()) state.SkipWithError("a pattern was reported as malformed");
}
BENCHMARK(BM_HundredRules)->Arg(16000)->Arg(1000)->Unit(benchmark::kMicrosecond);

}  // namespace
