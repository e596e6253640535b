#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace kestrel {

// What traffic processing needs of the main window. The window implements it; tests use fakes.
class MainView {
 public:
  virtual ~MainView() = default;

  // Lights the activity LED when that is enabled.
  virtual void TrafficSeen() = 0;
  // The first status-bar panel.
  virtual void SetStatusText(std::string_view text) = 0;
  // Disables and enables the acquisition timer, so its next tick is a whole period away.
  virtual void RestartAcquisitionTimer() = 0;

  // Appends a row to the Active Terminals list: the address, the alias in the second column.
  virtual void AppendTerminalRow(std::string_view address, std::string_view alias) = 0;
  // The text of the selected Terminals row ("<all>" or an address); none when nothing is selected.
  virtual std::optional<std::string> SelectedTerminal() const = 0;
  virtual bool Minimised() const = 0;

  // Messages list rows are known by their tag, the message number they show.
  virtual bool HasMessagesRow(int32_t tag) const = 0;
  virtual std::optional<int32_t> SelectedMessagesRow() const = 0;
  // The MDT display shows a selected message rather than live traffic.
  virtual bool MDTShowsMessage() const = 0;
  virtual bool MessageDetailsOpen() const = 0;
  virtual bool MessageDetailsVisible() const = 0;
  // Shows the message of a row in the MDT display (false) or the MessageDetails window (true).
  virtual void DisplayMessageDetails(bool details_window, int32_t tag) = 0;
};

// Applies the rule set to one message; `row` is the Messages row that already shows it, if any.
class RuleProcessor {
 public:
  virtual ~RuleProcessor() = default;
  virtual void ProcessRules(const std::string& message, std::optional<int32_t> row) = 0;
};

}  // namespace kestrel
