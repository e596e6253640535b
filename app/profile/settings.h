#pragma once

#include <cstdint>
#include <string>

#include "app/platform/text_window.h"

namespace kestrel {

// Values of SieveSource and COMPortDevice.
inline constexpr int kSieveSourceSoundCard = 1;
inline constexpr int kSieveSourceNetwork = 2;
inline constexpr int kSieveSourceCOMPort = 3;
inline constexpr int kCOMPortDeviceSlicer = 1;
inline constexpr int kCOMPortDeviceRM100 = 2;
// Values of DecoderMode.
inline constexpr int kDecoderModeExact = 0;
inline constexpr int kDecoderModeRobust = 1;
// The largest SMTPSecurity and SMTPPort.
inline constexpr int kMaxSMTPSecurity = 2;
inline constexpr int kMaxSMTPPort = 65535;
// The widest MDT display a profile may ask for; wider is of no use and would make every separator
// line of the traffic huge.
inline constexpr int kMaxMDTColumns = 32767;
// No record is longer than one decoding call's 8192-byte output, so no address byte lies beyond.
inline constexpr int kMaxTerminalAddressByte = 8192;

// The program-wide settings record. Members carry the names of their profile keys, in the order
// a save writes them, and start at their start-up defaults. Window positions and sizes are in
// twips (1440 to the inch), the font size in points.
struct Settings {
  std::string SMTPMailServer;
  bool ReversePolarity = false;
  bool AutoReconnect = true;
  bool COMPortReversePolarity = false;
  int COMPortNumber = 1;
  // A slicer driver can be provided on this platform, so the slicer is the natural first choice.
  int COMPortDevice = kCOMPortDeviceSlicer;
  bool ToolBar = true;
  bool StatusBar = true;
  int MDTColumns = 40;
  int TerminalAddressStart = 3;
  int TerminalAddressEnd = 4;
  bool Ignore35Prefix = false;
  bool IgnoreDownloadedStrings = false;
  bool AutoSave = true;
  bool ActivityLED = false;
  bool DisplayInSystemTray = false;
  bool AlwaysOnTop = false;
  // The main window's designed geometry: 800 x 600 pixels at 96 dpi, a little in from the corner.
  double MainTop = 1200;
  double MainLeft = 1200;
  double MainWidth = 12000;
  double MainHeight = 9000;
  // 0 for the remembered windows: not placed yet.
  int MessageDetailsTop = 0;
  int MessageDetailsLeft = 0;
  int MessageDetailsHeight = 0;
  int AlertTop = 0;
  int AlertLeft = 0;
  int AlertHeight = 0;
  double VerticalSplitter = 3000;
  double HorizontalSplitter = 3600;
  // Black on white for the lists; the MDT display shows green on black, as the terminals do.
  Colour MessagesForeground = 0x000000;
  Colour MessagesBackground = 0xFFFFFF;
  Colour TerminalsForeground = 0x000000;
  Colour TerminalsBackground = 0xFFFFFF;
  Colour MDTForeground = 0x00FF00;
  Colour MDTBackground = 0x000000;
  // Type, To and Received; Message Details takes the rest.
  double MessagesCol1 = 1200;
  double MessagesCol2 = 1500;
  double MessagesCol4 = 1200;
  double TerminalsCol1 = 1200;
  int MaxMessagesToSave = 50;
  bool Monitoring = true;
  bool Listen = true;
  int SamplingRate = 0;  // not chosen: audio capture uses 44100
  int SieveSource = kSieveSourceSoundCard;
  std::string ServerAddress;
  int ServerPort = 990;
  std::string MDTFontName = "Courier New";
  double MDTFontSize = 9;
  bool MDTFontBold = false;
  bool MDTFontItalic = false;
  // The sound input by its sound-system id; "" for the system default.
  std::string AudioInputDevice;
  // The serial device of the COM-port sources by path (a USB adapter, say); "" for the port that
  // COMPortNumber names.
  std::string COMPortName;
  // Which decoder turns audio and RM100 samples into frames: the robust one is built for real
  // receivers (noise, squelch, band-limited audio); the exact one reproduces the reference
  // algorithm bit for bit.
  int DecoderMode = kDecoderModeRobust;
  // E-mail beyond the server's name: the security (0 none, 1 STARTTLS, 2 implicit TLS), the port
  // (0: the security's default, 25, 587 or 465), the login and a PEM file of extra certificate
  // authorities. The password itself is never a setting: the secret store keeps it, or the
  // first line of SMTPPasswordFile, which wins.
  int SMTPSecurity = 0;
  int SMTPPort = 0;
  std::string SMTPUserName;
  std::string SMTPCAFile;
  std::string SMTPPasswordFile;

  std::string CurrentProfile;  // full path of the profile in use; "" until start-up sets it
  bool SettingsChanged = false;
  bool RewriteProfileOnSave = false;  // the profile was read from the old single-file layout
  bool SuppressErrors = false;

  bool operator==(const Settings&) const = default;
};

// The line of MDTColumns hyphens (at least one) that separates traffic blocks.
std::string SeparatorLine(const Settings& settings);

}  // namespace kestrel
