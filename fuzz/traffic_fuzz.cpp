// Arbitrary byte strings as decoded records through the whole of traffic processing, and as
// screen text through the formatting.
#include <cstddef>
#include <cstdint>
#include <string>

#include "app/display/mdt_text.h"
#include "app/traffic/process_sieve.h"
#include "support/fake_main_view.h"

namespace {

struct NoRules : kestrel::RuleProcessor {
  void ProcessRules(const std::string& message, std::optional<int32_t>) override {
    // What the rules and the e-mail see must survive formatting too.
    kestrel::FormatData(message);
  }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace kestrel;
  const std::string input(reinterpret_cast<const char*>(data), size);
  FormatData(input);
  WrapLines(input, 1 + (size % 80));
  if (size < 2) return 0;

  Settings settings;
  settings.Ignore35Prefix = data[0] & 1;
  settings.IgnoreDownloadedStrings = data[0] & 2;
  settings.TerminalAddressStart = 1 + (data[1] & 7);
  settings.TerminalAddressEnd = settings.TerminalAddressStart + (data[1] >> 5);
  settings.MDTColumns = 1 + data[0] % 90;
  kestrel_test::FakeMainView view;
  view.selected_terminal = "<all>";
  TerminalAliases aliases;
  TrafficClass traffic(settings, aliases);
  MessagesClass messages;
  NoRules rules;
  ManualClock clock;
  RecordingMessageBoxes boxes;
  CaptureWriter capture(settings, clock, boxes);
  PlainTextWindow raw_window;
  RawData raw_data;
  raw_data.Attach(&raw_window);
  raw_data.SetHex(data[0] & 4);
  PlainTextWindow mdt_window;
  MdtDisplay mdt(settings, view, traffic, mdt_window);
  ErrorReporter errors(settings, boxes);
  TrafficProcessor processor(
      {settings, view, traffic, messages, aliases, rules, capture, raw_data, mdt, errors});

  // Records are separated by 0xFF 0xFE, so one input can be a whole conversation.
  size_t start = 2;
  while (start <= size) {
    size_t end = input.find("\xFF\xFE", start);
    if (end == std::string::npos) end = size;
    processor.ProcessSieve(input.substr(start, end - start));
    if (traffic.TerminalCount() > 0 && (data[0] & 8)) {
      traffic.SetMessagesTag(GetTerminalAddress(input.substr(start, end - start), settings),
                             messages.Add("x"));
    }
    start = end + 2;
  }
  traffic.Retrieve("<all>");
  if (!boxes.shown.empty()) __builtin_trap();  // nothing here may fail
  return 0;
}
