#pragma once

#include <cstdint>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "app/traffic/main_view.h"

namespace kestrel_test {

// A main window that records what it is told and answers from its public fields.
struct FakeMainView : kestrel::MainView {
  struct DetailsCall {
    bool details_window;
    int32_t tag;
  };

  void TrafficSeen() override { ++traffic_seen; }
  void SetStatusText(std::string_view text) override { status_texts.emplace_back(text); }
  void RestartAcquisitionTimer() override { ++timer_restarts; }
  void AppendTerminalRow(std::string_view address, std::string_view alias) override {
    terminal_rows.emplace_back(address, alias);
  }
  std::optional<std::string> SelectedTerminal() const override { return selected_terminal; }
  bool Minimised() const override { return minimised; }
  bool HasMessagesRow(int32_t tag) const override { return messages_rows.contains(tag); }
  std::optional<int32_t> SelectedMessagesRow() const override { return selected_messages_row; }
  bool MDTShowsMessage() const override { return mdt_shows_message; }
  bool MessageDetailsOpen() const override { return message_details_open; }
  bool MessageDetailsVisible() const override { return message_details_visible; }
  void DisplayMessageDetails(bool details_window, int32_t tag) override {
    details_calls.push_back({details_window, tag});
  }

  // Recorded calls.
  int traffic_seen = 0;
  std::vector<std::string> status_texts;
  int timer_restarts = 0;
  std::vector<std::pair<std::string, std::string>> terminal_rows;
  std::vector<DetailsCall> details_calls;

  // Answers.
  std::optional<std::string> selected_terminal;
  bool minimised = false;
  std::set<int32_t> messages_rows;
  std::optional<int32_t> selected_messages_row;
  bool mdt_shows_message = false;
  bool message_details_open = false;
  bool message_details_visible = false;
};

}  // namespace kestrel_test
