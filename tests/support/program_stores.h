#pragma once

#include "app/platform/message_box.h"
#include "app/profile/profile.h"
#include "app/profile/report_error.h"
#include "app/profile/settings.h"
#include "app/rules/rules_class.h"
#include "app/traffic/terminal_aliases.h"

namespace kestrel_test {

// One program's worth of the stores a profile fills, with error reports recorded.
struct ProgramStores {
  kestrel::Settings settings;
  kestrel::RecordingMessageBoxes boxes;
  kestrel::ErrorReporter errors{settings, boxes};
  kestrel::TerminalAliases aliases;
  kestrel::RulesClass rules{errors};

  kestrel::ProfileStores get() { return {settings, aliases, rules}; }
};

}  // namespace kestrel_test
