#pragma once

#include <string>
#include <string_view>

#include "app/platform/text_window.h"
#include "app/profile/settings.h"
#include "app/traffic/main_view.h"
#include "app/traffic/traffic_class.h"

namespace kestrel {

// Keeps the main window's MDT display following live traffic for the selected Terminals row,
// block by block, unless hold mode is on or the display shows a selected message.
class MdtDisplay {
 public:
  MdtDisplay(const Settings& settings, const MainView& view, const TrafficClass& traffic,
             TextWindow& display)
      : settings_(settings), view_(view), traffic_(traffic), display_(display) {}

  void UpdateMDTWindow(const std::string& address, const std::string& alias,
                       const std::string& record);
  // The display becomes the wrapped history of `name` (a terminal address or "<all>").
  void RefillMDTDisplay(std::string_view name);
  // Switching hold off refills the display for the selected Terminals row.
  void SetHold(bool on);
  bool Hold() const { return hold_; }

  const std::string& LastMDTTerminal() const { return last_mdt_terminal_; }
  bool MDTHasText() const { return mdt_has_text_; }

 private:
  const Settings& settings_;
  const MainView& view_;
  const TrafficClass& traffic_;
  TextWindow& display_;
  bool hold_ = false;
  std::string last_mdt_terminal_;
  bool mdt_has_text_ = false;
};

}  // namespace kestrel
