#pragma once

#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "app/traffic/main_view.h"

namespace kestrel_replay {

// The main window as the replay runs it: the "<all>" Terminals row selected, no Messages row
// selected, hold off, not minimised, no message shown in the MDT display or details window.
class HeadlessView : public kestrel::MainView {
 public:
  explicit HeadlessView(std::function<bool(int32_t)> has_messages_row)
      : has_messages_row_(std::move(has_messages_row)) {}

  void TrafficSeen() override {}
  void SetStatusText(std::string_view) override {}
  void RestartAcquisitionTimer() override {}
  void AppendTerminalRow(std::string_view address, std::string_view alias) override {
    terminal_rows_.emplace_back(address, alias);
  }
  std::optional<std::string> SelectedTerminal() const override { return "<all>"; }
  bool Minimised() const override { return false; }
  bool HasMessagesRow(int32_t tag) const override { return has_messages_row_(tag); }
  std::optional<int32_t> SelectedMessagesRow() const override { return std::nullopt; }
  bool MDTShowsMessage() const override { return false; }
  bool MessageDetailsOpen() const override { return false; }
  bool MessageDetailsVisible() const override { return false; }
  void DisplayMessageDetails(bool, int32_t) override {}

  // The Terminals rows after "<all>": address and alias.
  const std::vector<std::pair<std::string, std::string>>& terminal_rows() const {
    return terminal_rows_;
  }

 private:
  std::function<bool(int32_t)> has_messages_row_;
  std::vector<std::pair<std::string, std::string>> terminal_rows_;
};

}  // namespace kestrel_replay
