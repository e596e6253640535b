#include "app/display/mdt_display.h"

#include <optional>

#include "app/display/mdt_text.h"
#include "app/traffic/record.h"

namespace kestrel {
namespace {

constexpr size_t kShortestShownRecord = 18;
// A "TX" record shorter than this shows from the "TX" on.
constexpr size_t kShortestTxBody = 22;

}  // namespace

void MdtDisplay::UpdateMDTWindow(const std::string& address, const std::string& alias,
                                 const std::string& record) {
  const std::optional<std::string> selected = view_.SelectedTerminal();
  if (!selected || record.size() < kShortestShownRecord || view_.Minimised()) return;

  if ((*selected == TrafficClass::kAllTraffic || *selected == address) && !hold_ &&
      !view_.MDTShowsMessage()) {
    const bool tx = IsTxRecord(record);
    std::string text;
    if (tx || address != last_mdt_terminal_) {
      if (mdt_has_text_) {
        text = "\r\n\r\n" + SeparatorLine(settings_) + "\r\n";
      } else {
        mdt_has_text_ = true;
      }
      text += "Terminal: " + address;
      if (!alias.empty()) text += " (" + alias + ")";
      text += "\r\n\r\n";
    }
    const size_t body_start =
        tx && record.size() >= kShortestTxBody ? kTxBodyPosition : kContinuationBodyPosition;
    text += FormatData(From(record, body_start));
    AddText(display_, WrapLines(text, settings_.MDTColumns), 0, 0, 0);
  }
  last_mdt_terminal_ = address;
}

void MdtDisplay::RefillMDTDisplay(std::string_view name) {
  display_.SetText(WrapLines(traffic_.Retrieve(name), settings_.MDTColumns));
}

void MdtDisplay::SetHold(bool on) {
  const bool released = hold_ && !on;
  hold_ = on;
  if (!released) return;
  if (const std::optional<std::string> selected = view_.SelectedTerminal()) {
    RefillMDTDisplay(*selected);
  }
}

}  // namespace kestrel
