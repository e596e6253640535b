#pragma once

#include <cstdint>
#include <string>

namespace kestrel {

// The program-wide settings record. Members carry the names of their profile keys and start at
// their start-up defaults.
struct Settings {
  int MDTColumns = 40;
  int TerminalAddressStart = 3;
  int TerminalAddressEnd = 4;
  bool Ignore35Prefix = false;
  bool IgnoreDownloadedStrings = false;
  bool ActivityLED = false;
  int MaxMessagesToSave = 50;

  std::string CurrentProfile;
  bool SettingsChanged = false;
  bool RewriteProfileOnSave = false;
  bool SuppressErrors = false;
};

// The line of MDTColumns hyphens (at least one) that separates traffic blocks.
std::string SeparatorLine(const Settings& settings);

}  // namespace kestrel
