#include "app/profile/options.h"

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <limits>

#include "app/platform/paths.h"

namespace kestrel {
namespace {

constexpr int kDefaultSamplingRate = 44100;
constexpr int kHighestPort = 65535;

int EffectiveRate(int rate) { return rate > 0 ? rate : kDefaultSamplingRate; }

// A port beyond 65535 would wrap to another port when the feed binds or connects.
int PortValue(std::string_view text) { return std::clamp(NumericValue(text), 0, kHighestPort); }

}  // namespace

int NumericValue(std::string_view text) {
  size_t i = 0;
  while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '-' || text[i] == '+')) negative = text[i++] == '-';
  int64_t value = 0;
  for (; i < text.size() && std::isdigit(static_cast<unsigned char>(text[i])); ++i) {
    value = value * 10 + (text[i] - '0');
    if (value > std::numeric_limits<int32_t>::max()) {
      value = int64_t(std::numeric_limits<int32_t>::max()) + 1;
    }
  }
  if (negative) value = -value;
  return int(std::clamp<int64_t>(value, std::numeric_limits<int32_t>::min(),
                                 std::numeric_limits<int32_t>::max()));
}

std::string COMPortText(int number) {
  if (number < 1 || number > 4) return {};
  return "COM" + std::to_string(number);
}

int COMPortNumberOf(std::string_view text) {
  if (text.size() < 4 || text.substr(0, 3) != "COM") return 0;
  return std::max(0, NumericValue(text.substr(3)));
}

OptionsValues LoadOptions(const Settings& s) {
  OptionsValues v;
  v.smtp_mail_server = s.SMTPMailServer;
  v.activity_led = s.ActivityLED;
  v.auto_save = s.AutoSave;
  v.system_tray = s.DisplayInSystemTray;
  v.always_on_top = s.AlwaysOnTop;
  v.smtp_security = s.SMTPSecurity;
  v.smtp_port = s.SMTPPort == 0 ? "" : std::to_string(s.SMTPPort);
  v.smtp_user_name = s.SMTPUserName;
  v.smtp_ca_file = s.SMTPCAFile;
  v.cols = std::to_string(s.MDTColumns);
  v.number_messages = std::to_string(s.MaxMessagesToSave);
  v.mdt_foreground = s.MDTForeground;
  v.mdt_background = s.MDTBackground;
  v.messages_foreground = s.MessagesForeground;
  v.messages_background = s.MessagesBackground;
  v.terminals_foreground = s.TerminalsForeground;
  v.terminals_background = s.TerminalsBackground;
  v.source = s.SieveSource;
  v.address = s.ServerAddress;
  v.port = std::to_string(s.ServerPort);
  v.auto_reconnect = s.AutoReconnect;
  v.sampling_rate = std::to_string(EffectiveRate(s.SamplingRate));
  v.polarity = s.ReversePolarity;
  v.audio_input_device = s.AudioInputDevice;
  v.com_port = COMPortText(s.COMPortNumber);
  v.com_port_name = s.COMPortName;
  v.com_device = s.COMPortDevice;
  v.rm100_polarity = s.COMPortReversePolarity;
  v.decoder_mode = s.DecoderMode;
  v.address_start = std::to_string(s.TerminalAddressStart);
  v.address_end = std::to_string(s.TerminalAddressEnd);
  v.ignore_35 = s.Ignore35Prefix;
  v.ignore_downloaded_strings = s.IgnoreDownloadedStrings;
  return v;
}

void SetTabDefaults(OptionsTab tab, OptionsValues& v, const OptionsPlatform& platform) {
  switch (tab) {
    case OptionsTab::kGeneral:
      v.system_tray = false;
      v.auto_save = true;
      v.activity_led = false;
      v.always_on_top = false;
      return;
    case OptionsTab::kWindows:
      v.number_messages = "50";
      v.messages_foreground = 0x000000;
      v.messages_background = 0xFFFFFF;
      v.terminals_foreground = 0x000000;
      v.terminals_background = 0xFFFFFF;
      v.cols = "40";
      v.mdt_foreground = 0x00FF00;
      v.mdt_background = 0x000000;
      return;
    case OptionsTab::kDataSource:
      v.source = kSieveSourceSoundCard;
      v.sampling_rate = "44100";
      v.polarity = false;
      // Stored profiles know this proposal; it is not ServerPort's start-up value.
      v.port = "4800";
      v.com_device = platform.slicer_available ? kCOMPortDeviceSlicer : kCOMPortDeviceRM100;
      v.auto_reconnect = true;
      return;
    case OptionsTab::kMdtData:
      v.address_start = "3";
      v.address_end = "4";
      v.ignore_35 = false;
      v.ignore_downloaded_strings = false;
      return;
  }
}

void DefaultMdtFont(Settings& settings) {
  settings.MDTFontName = "Courier New";
  settings.MDTFontSize = 9;
  settings.MDTFontBold = false;
  settings.MDTFontItalic = false;
  settings.SettingsChanged = true;
}

std::optional<std::string_view> ValidateOptions(const OptionsValues& v) {
  if (NumericValue(v.address_end) < NumericValue(v.address_start)) return kAddressBytesMessage;
  if (NumericValue(v.cols) < 1) return kColumnsMessage;
  if (v.source == kSieveSourceNetwork && (v.address.empty() || v.port.empty())) {
    return kNetworkMessage;
  }
  if (NumericValue(v.smtp_port) > kMaxSMTPPort) return kSMTPPortMessage;
  if (!v.smtp_user_name.empty() && v.smtp_security == 0) return kSMTPLoginMessage;
  return std::nullopt;
}

bool DataSourceChanged(const OptionsValues& v, const Settings& s) {
  const int com_number = COMPortNumberOf(v.com_port);
  return v.source != s.SieveSource || v.com_device != s.COMPortDevice ||
         (com_number != 0 && com_number != s.COMPortNumber) || v.com_port_name != s.COMPortName ||
         v.address != s.ServerAddress || PortValue(v.port) != s.ServerPort ||
         EffectiveRate(NumericValue(v.sampling_rate)) != EffectiveRate(s.SamplingRate) ||
         v.audio_input_device != s.AudioInputDevice;
}

ApplyResult ApplyOptions(const OptionsValues& v, Settings& s, MessageBoxes& boxes,
                         OptionsHost& host) {
  ApplyResult result;
  s.SettingsChanged = true;
  s.AlwaysOnTop = v.always_on_top;
  host.ApplyAlwaysOnTop(s.AlwaysOnTop);
  if (const auto message = ValidateOptions(v)) {
    boxes.Show(*message, kProgramName, MessageBoxes::Icon::kExclamation,
               MessageBoxes::Buttons::kOk);
    return result;
  }

  s.SMTPMailServer = v.smtp_mail_server;
  s.SMTPSecurity = std::clamp(v.smtp_security, 0, kMaxSMTPSecurity);
  s.SMTPPort = PortValue(v.smtp_port);
  s.SMTPUserName = v.smtp_user_name;
  s.SMTPCAFile = v.smtp_ca_file;
  s.AutoSave = v.auto_save;
  s.ActivityLED = v.activity_led;
  s.Ignore35Prefix = v.ignore_35;
  s.IgnoreDownloadedStrings = v.ignore_downloaded_strings;
  s.DisplayInSystemTray = v.system_tray;
  s.MDTColumns = std::min(NumericValue(v.cols), kMaxMDTColumns);
  s.MessagesForeground = v.messages_foreground;
  s.MessagesBackground = v.messages_background;
  s.TerminalsForeground = v.terminals_foreground;
  s.TerminalsBackground = v.terminals_background;
  s.MDTForeground = v.mdt_foreground;
  s.MDTBackground = v.mdt_background;
  s.AutoReconnect = v.auto_reconnect;
  // The decoder is chosen at every poll, so a change needs no restart of monitoring.
  s.DecoderMode = v.decoder_mode;
  host.ApplySettingsToWindows();

  if (DataSourceChanged(v, s)) {
    // Stopping goes by the old source, so it comes before the new one is written.
    const bool was_on = s.Monitoring;
    if (was_on) host.StopMonitoring();
    s.ServerAddress = v.address;
    s.ServerPort = PortValue(v.port);
    s.SieveSource = v.source;
    s.COMPortDevice = v.com_device;
    if (const int number = COMPortNumberOf(v.com_port); number != 0) s.COMPortNumber = number;
    s.COMPortName = v.com_port_name;
    // A rate left as shown stays "not chosen".
    const int rate = NumericValue(v.sampling_rate);
    if (rate > 0 && rate != EffectiveRate(s.SamplingRate)) s.SamplingRate = rate;
    s.AudioInputDevice = v.audio_input_device;
    if (was_on) host.StartMonitoring();
    result.monitoring_restarted = was_on;
  }

  const bool sound = s.SieveSource == kSieveSourceSoundCard;
  const bool com = s.SieveSource == kSieveSourceCOMPort;
  if ((sound && v.polarity != s.ReversePolarity) ||
      (com && v.rm100_polarity != s.COMPortReversePolarity)) {
    s.ReversePolarity = v.polarity;
    s.COMPortReversePolarity = v.rm100_polarity;
    host.ApplyPolarity(sound ? s.ReversePolarity : s.COMPortReversePolarity);
    result.polarity_changed = true;
  }

  // Capped as a profile load caps them, so what is saved loads again.
  s.TerminalAddressStart = std::min(NumericValue(v.address_start), kMaxTerminalAddressByte);
  s.TerminalAddressEnd = std::min(NumericValue(v.address_end), kMaxTerminalAddressByte);
  s.MaxMessagesToSave = NumericValue(v.number_messages);
  result.applied = true;
  return result;
}

SourceControls EnabledForSource(int source, const OptionsPlatform& platform) {
  SourceControls c;
  c.sound_card = source == kSieveSourceSoundCard;
  c.com_port = source == kSieveSourceCOMPort;
  c.slicer_device = c.com_port && platform.slicer_available;
  return c;
}

void SelectSource(int source, OptionsValues& v, const OptionsPlatform& platform) {
  v.source = source;
  if (source == kSieveSourceCOMPort && !platform.slicer_available) {
    v.com_device = kCOMPortDeviceRM100;
  }
}

}  // namespace kestrel
