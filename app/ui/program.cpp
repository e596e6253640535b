#include "app/ui/program.h"

#include "app/display/mdt_text.h"
#include "app/outputs/outputs_config.h"
#include "app/traffic/record.h"

namespace kestrel {

namespace {
constexpr char kCrLf[] = "\r\n";
}

double ClampVerticalSplitter(double left, double inner_width) {
  if (left < 135) left = 135;
  if (left > inner_width - 600) left = inner_width - 600;
  return left;
}

double ClampHorizontalSplitter(double top, double inner_height) {
  if (top < 30) top = 30;
  if (top > inner_height - 750) top = inner_height - 750;
  return top;
}

Program::Program(const ProgramParts& parts)
    : errors(settings, parts.boxes),
      rules(errors),
      traffic(settings, aliases),
      email(parts.clock),
      rule_processing({settings, rules, aliases, traffic, messages, messages_list, parts.alert,
                       email, parts.sound, parts.rule_printer, parts.clock, errors}),
      capture(settings, parts.clock, parts.boxes),
      mdt(settings, parts.main, traffic, parts.mdt),
      processor({settings, parts.main, traffic, messages, aliases, rule_processing, capture,
                 raw_data, mdt, errors}),
      acquisition(
          {settings, parts.audio, parts.boxes, parts.monitoring, processor, parts.network, errors}),
      monitoring({settings, parts.boxes, parts.monitoring, acquisition, parts.audio, parts.serial,
                  parts.network, rule_processing, errors}),
      station(parts.clock, DefaultStationName(), [this] { return SourceName(settings, false); }),
      parts_(parts) {
  processor.SetEventSink(&station);
  rule_processing.SetEventSink(&station);
}

std::optional<MessageDetailsText> Program::MessageDetails(int32_t tag) {
  const std::string text = messages.Retrieve(tag);
  const MessagesRow* row = messages_list.Row(tag);
  if (text.empty() || row == nullptr) return std::nullopt;
  MessageDetailsText details;
  details.address = GetTerminalAddress(text, settings);
  const std::string alias = aliases.Alias(details.address);
  rules.InitMatch();
  if (rules.Match(details.address, alias, From(text, 13))) {
    if (const Rule* rule = rules.Current()) details.type = rule->LogMessageType;
  }
  std::string body;
  if (text.size() >= 21)
    body = FormatData(From(text, 20));
  else if (text.size() > 12)
    body = FormatData(From(text, 13));
  details.received = row->received;
  details.terminal = details.address + (alias.empty() ? "" : " (" + alias + ")");
  details.traffic_button = "To " + details.address;
  details.body = WrapLines(body, settings.MDTColumns);
  details.mdt_text =
      WrapLines("Terminal: " + details.terminal + kCrLf + kCrLf + body, settings.MDTColumns);
  return details;
}

void Program::DeleteMessage(int32_t tag) {
  const std::string text = messages.Retrieve(tag);
  traffic.RemoveListItem(GetTerminalAddress(text, settings), tag);
  messages.Remove(tag);
  messages_list.Remove(tag);
}

void Program::ClearTraffic(const std::vector<std::string>& names) {
  for (const std::string& name : names) traffic.Remove(name);
}

void Program::ReversePolarity() {
  if (settings.SieveSource == kSieveSourceSoundCard) {
    settings.ReversePolarity = !settings.ReversePolarity;
    acquisition.SetSymbols(settings.ReversePolarity);
  } else if (settings.SieveSource == kSieveSourceCOMPort) {
    settings.COMPortReversePolarity = !settings.COMPortReversePolarity;
    acquisition.SetSymbols(settings.COMPortReversePolarity);
  }
  settings.SettingsChanged = true;
}

void Program::StatusTick() {
  monitoring.RefreshStatus(capture.On());
  email.StatusTick(parts_.mail, settings.SMTPMailServer, settings.MDTForeground,
                   settings.MDTBackground);
}

ExitSave Program::ExitSaveChoice(bool ask) {
  if (settings.CurrentProfile.empty()) return ExitSave::kNothing;
  if (settings.AutoSave) return ExitSave::kWithSettings;
  if (!settings.SettingsChanged || !ask) return ExitSave::kWithoutSettings;
  switch (parts_.boxes.Show("Settings have changed, save to current profile?", "Save Settings?",
                            MessageBoxes::Icon::kQuestion, MessageBoxes::Buttons::kYesNoCancel)) {
    case MessageBoxes::Answer::kCancel:
      return ExitSave::kCancelled;
    case MessageBoxes::Answer::kYes:
      return ExitSave::kWithSettings;
    default:
      return ExitSave::kWithoutSettings;
  }
}

bool Program::SaveForExit(ExitSave choice, const SaveOptions& options, std::string* failure) {
  if (choice != ExitSave::kWithSettings && choice != ExitSave::kWithoutSettings) return true;
  return SaveProfile(settings.CurrentProfile, choice == ExitSave::kWithSettings, Stores(), options,
                     nullptr, failure);
}

}  // namespace kestrel
