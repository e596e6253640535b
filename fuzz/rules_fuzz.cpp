// Arbitrary bytes as a wildcard pattern and value, and as a rules file: read it, match with the
// rules it holds, and check that what was read survives a write and a second read unchanged.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "app/rules/rules_file.h"
#include "support/wildcard_reference.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace kestrel;
  const std::string_view input(reinterpret_cast<const char*>(data), size);

  // Pattern, a zero byte, value; the plain reference checks the answer where it is cheap.
  const size_t split = input.find('\0');
  const std::string_view pattern = input.substr(0, split == input.npos ? size / 2 : split);
  const std::string_view value =
      input.substr(split == input.npos ? size / 2 : std::min(size, split + 1));
  bool malformed = false;
  const bool matches = MatchesPattern(value, pattern, malformed);
  if (pattern.size() <= 256 && value.size() <= 1024) {
    const int expected = kestrel_test::ReferenceMatch(value, pattern);
    if (expected != (malformed ? -1 : int(matches))) __builtin_trap();
  }

  IniFile ini;
  if (!ini.Parse(input)) return 0;
  Settings settings;
  RecordingMessageBoxes boxes;
  boxes.answer = MessageBoxes::Answer::kNo;
  ErrorReporter errors(settings, boxes);

  RulesClass renamed(errors);
  ReadRulesSection(ini, renamed, RuleNameClash::kRename);
  renamed.InitMatch();
  for (int pass = 0; pass <= renamed.Count() && renamed.Match("1234", "Unit 7", input); ++pass) {
    if (renamed.Current() == nullptr) __builtin_trap();
  }

  RulesClass read(errors);
  const int added = ReadRulesSection(ini, read, RuleNameClash::kSkip);
  if (added != read.Count()) __builtin_trap();
  IniFile written;
  // Read values hold no line breaks, so every one of them can be written back.
  if (!WriteRulesSection(written, read)) __builtin_trap();
  IniFile reread;
  if (!reread.Parse(written.Serialize())) return 0;  // beyond the line bound only
  RulesClass again(errors);
  if (ReadRulesSection(reread, again, RuleNameClash::kSkip) != added) __builtin_trap();
  for (int i = 1; i <= added; ++i) {
    if (!(*again.At(i) == *read.At(i))) __builtin_trap();
  }
  return 0;
}
