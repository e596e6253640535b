#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "app/platform/message_box.h"
#include "app/profile/settings.h"

namespace kestrel {

// The Options dialog's working copy of the settings, as its controls hold them: numbers as the
// typed text, choices as setting values. Nothing reaches the Settings record before ApplyOptions.
struct OptionsValues {
  // General.
  std::string smtp_mail_server;
  bool activity_led = false;
  bool auto_save = false;
  bool system_tray = false;
  bool always_on_top = false;
  int smtp_security = 0;  // SMTPSecurity
  std::string smtp_port;  // as typed; "" or "0" for the security's default
  std::string smtp_user_name;
  std::string smtp_password;  // for the secret store only, never a setting
  std::string smtp_ca_file;
  // Windows.
  std::string cols;
  std::string number_messages;
  Colour mdt_foreground = 0;
  Colour mdt_background = 0;
  Colour messages_foreground = 0;
  Colour messages_background = 0;
  Colour terminals_foreground = 0;
  Colour terminals_background = 0;
  // Data Source.
  int source = kSieveSourceSoundCard;  // SieveSource
  std::string address;
  std::string port;
  bool auto_reconnect = false;
  std::string sampling_rate;  // "22050" or "44100"
  bool polarity = false;
  std::string audio_input_device;        // sound-system id; "" for the system default
  std::string com_port;                  // "COM1" to "COM4"
  std::string com_port_name;             // a serial device path; "" for the COM port above
  int com_device = kCOMPortDeviceRM100;  // COMPortDevice
  bool rm100_polarity = false;
  int decoder_mode = kDecoderModeRobust;  // DecoderMode
  // MDT Data.
  std::string address_start;
  std::string address_end;
  bool ignore_35 = false;
  bool ignore_downloaded_strings = false;

  bool operator==(const OptionsValues&) const = default;
};

enum class OptionsTab { kGeneral = 0, kWindows = 1, kDataSource = 2, kMdtData = 3 };

// What the platform offers: whether a slicer driver can be provided here (true on Linux), which
// enables "Data Slicer" and makes it the default device.
struct OptionsPlatform {
  bool slicer_available = true;
};

// The exact validation messages.
inline constexpr std::string_view kAddressBytesMessage =
    "The starting byte for the destination terminal address cannot be greater than the ending "
    "byte.";
inline constexpr std::string_view kColumnsMessage =
    "The MDT display width should be greater than 0.";
inline constexpr std::string_view kNetworkMessage =
    "The server address and port number must be specified before you can choose to get MDT data "
    "via the network.";
inline constexpr std::string_view kSMTPPortMessage =
    "The SMTP port must be a number from 1 to 65535, or empty for the usual port.";
inline constexpr std::string_view kSMTPLoginMessage =
    "A user name for the SMTP server needs STARTTLS or implicit TLS: the password is never sent "
    "unencrypted.";

// The number a text starts with, as a numeric box reads it: leading blanks, an optional sign,
// digits; 0 when there are none. Clamped to the int range.
int NumericValue(std::string_view text);

// "COM" + n for 1 to 4; "" otherwise (the list keeps what it shows).
std::string COMPortText(int number);
// The number in a "COMn" text; 0 when there is none.
int COMPortNumberOf(std::string_view text);

// The controls as the dialog loads them from `settings`. A sampling rate not yet chosen (0)
// shows as the 44100 that capture uses; a COM port number beyond 1 to 4 shows as "". The SMTP
// password is not a setting: the dialog fills it from the secret store.
OptionsValues LoadOptions(const Settings& settings);

// Resets the controls of one tab to their defaults. The Windows tab's default font is not a
// control: the caller applies DefaultMdtFont at once.
void SetTabDefaults(OptionsTab tab, OptionsValues& values, const OptionsPlatform& platform);
// The Windows tab's default MDT display font, written into `settings` (Courier New, 9 points,
// plain); sets SettingsChanged.
void DefaultMdtFont(Settings& settings);

// The checks of Apply, in order (the three above, then the SMTP port and login); the first
// failing one's message, or none. Tab changes run the same checks.
std::optional<std::string_view> ValidateOptions(const OptionsValues& values);

// True when applying `values` changes the data source (source, device, COM port or serial
// device, server address or port, sampling rate, sound input): monitoring must restart.
bool DataSourceChanged(const OptionsValues& values, const Settings& settings);

// What ApplyOptions needs from the program and its windows. Called on the caller's thread, in
// the order ApplyOptions documents.
class OptionsHost {
 public:
  virtual ~OptionsHost() = default;
  // AlwaysOnTop as now set: the main window (and the dialog) follow it.
  virtual void ApplyAlwaysOnTop(bool on) = 0;
  // Monitoring around a data-source change: Stop before the source settings change, Start
  // after (only when monitoring was on).
  virtual void StopMonitoring() = 0;
  virtual void StartMonitoring() = 0;
  // The active source's polarity changed: the decoder's symbols, the status panels and the
  // reverse-polarity check mark follow `reversed`.
  virtual void ApplyPolarity(bool reversed) = 0;
  // Colours, MDTColumns (the MDT display's width) and the rest of the window settings changed.
  virtual void ApplySettingsToWindows() = 0;
  // The MDT font settings changed (the font button, the Windows tab's defaults), outside Apply:
  // the MDT display takes the font and is laid out again at once.
  virtual void ApplyMdtFont() = 0;
  // After an Apply that passed, with any new SMTP password stored: the mail queue takes its
  // connection again (LoadMailConnection). The default does nothing, for hosts without mail.
  virtual void ApplyMailSettings() {}
};

// What one Apply did, for the caller and tests.
struct ApplyResult {
  bool applied = false;  // validation passed and everything was written
  bool monitoring_restarted = false;
  bool polarity_changed = false;
};

// Apply: marks the settings changed and applies AlwaysOnTop whatever follows; then validates
// (a failure shows its message with an exclamation icon and the program's title, and writes
// nothing more); then writes the settings, restarting monitoring around a data-source change
// (only when settings.Monitoring was on) and applying a changed polarity of the active source.
ApplyResult ApplyOptions(const OptionsValues& values, Settings& settings, MessageBoxes& boxes,
                         OptionsHost& host);

// Which controls the selected source enables.
struct SourceControls {
  bool sound_card = false;     // Polarity, SamplingRate, the sound input
  bool slicer_device = false;  // COMDeviceDataSlicer
  bool com_port = false;       // COMDeviceRM100, COMPort, the serial device, RM100Polarity
};
SourceControls EnabledForSource(int source, const OptionsPlatform& platform);
// A source option click: where the slicer cannot be had, choosing the COM port also chooses
// the RM100.
void SelectSource(int source, OptionsValues& values, const OptionsPlatform& platform);

}  // namespace kestrel
