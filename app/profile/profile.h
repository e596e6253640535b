#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "app/platform/message_box.h"
#include "app/profile/settings.h"
#include "app/rules/rules_class.h"
#include "app/traffic/terminal_aliases.h"

namespace kestrel {

// A profile is up to three INI files: the main file P with section "Settings", and beside it the
// aliases file (section "TerminalAliases") and the rules file (section "Rules"). Profiles whose
// Version is kLastSingleFileVersion or lower hold all three sections in the main file.

// The Version this release writes, and the last one of the single-file layout. Versions compare
// as plain text, character by character, as they always have.
inline constexpr std::string_view kProfileVersion = "1.6.1";
inline constexpr std::string_view kLastSingleFileVersion = "1.6.0";

// The stores a profile fills and is written from.
struct ProfileStores {
  Settings& settings;
  TerminalAliases& aliases;
  RulesClass& rules;
};

// The Status window, as a save drives it.
class SaveStatus {
 public:
  virtual ~SaveStatus() = default;
  // Shows the window, or changes its texts when it is up, with the bar at `percent` (0..100).
  virtual void Show(std::string_view caption, std::string_view label, int percent) = 0;
  virtual void SetProgress(int percent) = 0;
  virtual void Close() = 0;
};

struct SaveOptions {
  // The main window is minimised: its geometry, and that of the message details and alert
  // windows, is not written (the file keeps what it had).
  bool minimised = false;
  SaveStatus* status = nullptr;  // none: save without showing progress
};

// P without its extension, then "Terminals." or "Rules.", then P's extension.
std::string AliasesFilePath(std::string_view profile);
std::string RulesFilePath(std::string_view profile);
// The main window's caption with `profile` in use: "Kestrel" for the default profile's name,
// otherwise GetFileTitle + " - Kestrel".
std::string ProfileCaption(std::string_view profile);

// What a load found wrong, for the user: the program logs it, the tools print it.
struct ProfileLoadReport {
  // Why the load failed, e.g. "no such file", "is a directory", "not a text file", "no
  // [Settings] section"; "" when it did not.
  std::string failure;
  // One line per value ignored because it is invalid: the file, key, value and what is used
  // instead ("p.ini: MDTColumns=-5 ignored: not a whole number from 1 to 32767; using 40").
  std::vector<std::string> warnings;
};

// Reads a profile into the stores, adding its aliases and rules to those held. False when the
// file is missing or unreadable or has no Version (settings read before that stay); true without
// reading anything for an empty file. Bad values leave their settings alone, key by key; so does
// a TerminalAddressStart after TerminalAddressEnd (both keep what they had). On success sets
// CurrentProfile and, when `caption` is given, the main window's new caption (which stays
// "Kestrel" when no profile was in use before). `report`, when given, receives why the load
// failed and a warning per ignored value.
bool LoadProfile(const std::string& path, ProfileStores stores, std::string* caption = nullptr,
                 ProfileLoadReport* report = nullptr);
// "Unable to load profile " + path + ": " + the report's failure.
std::string ProfileLoadFailureText(std::string_view path, const ProfileLoadReport& report);

// Writes the profile: with `save_settings` the settings, the changed aliases and the changed
// rules; without, only changed aliases. Every file is replaced as a whole (temporary file, flush,
// rename), side files before the main file, so a crash or a full disk at any point leaves each
// file old or new and complete, and a profile that loads. A store's changed mark (and
// SettingsChanged, RewriteProfileOnSave) is cleared only when its file was written. False when a
// file cannot be read back or written; nothing is written after the first failure. On success
// sets CurrentProfile and, when `caption` is given, the main window's caption. On failure
// `failure`, when given, names the file and the reason ("p.ini: permission denied").
bool SaveProfile(const std::string& path, bool save_settings, ProfileStores stores,
                 const SaveOptions& options = {}, std::string* caption = nullptr,
                 std::string* failure = nullptr);

// Start-up: which profile to load, from the command line and the configuration directory.
struct StartupProfile {
  std::string load_path;        // the profile to load; "" for none
  std::string default_profile;  // CurrentProfile when nothing is loaded; "" to leave it empty
  bool minimized = false;       // the command line is "-minimized"
};

// The command line as one text: the arguments after the program name joined by single blanks,
// so that an unquoted path with blanks arrives whole.
std::string CommandLineFromArguments(int argc, const char* const* argv);

// A command line other than "" and "-minimized" names the profile: one pair of enclosing double
// quotes is removed, and a bare file name (no "/" or "\") is taken from `config_directory`.
// Otherwise "Kestrel.ini" in `config_directory` is loaded when `file_exists` says it is there;
// when it is not and the command line is empty, saves will create it.
StartupProfile ResolveStartupProfile(std::string_view command_line,
                                     std::string_view config_directory,
                                     const std::function<bool(const std::string&)>& file_exists);

// Loads the start-up profile into the stores and sets CurrentProfile. A failed load shows
// "Unable to load profile " + path ("Error Loading Profile") and leaves CurrentProfile empty;
// its reason and every ignored value go to the program log.
// With a default profile to be created, makes its directory. False when a load failed.
bool LoadStartupProfile(const StartupProfile& startup, ProfileStores stores, MessageBoxes& boxes);

}  // namespace kestrel
