#include "app/rules/alert_layout.h"

#include <algorithm>

namespace kestrel {

namespace {
constexpr double kMessagePadding = 450;  // the box's borders and scroll bar around one MDT line
constexpr double kFrame = 100;           // the window's side borders
constexpr double kBelowMessage = 400 + 500;
constexpr double kBelowButtons = 500;
constexpr double kMaxGap = 355;
constexpr double kMinGap = 60;  // buttons never touch
constexpr double kReceivedOffset = 700;
constexpr double kLabelGap = 50;
}  // namespace

AlertLayout LayOutAlert(const AlertLayoutInput& in) {
  AlertLayout out;
  const double margins = 2 * in.message_left + kFrame;

  out.message_width = in.glyph_width * in.mdt_columns + kMessagePadding;
  if (in.max_window_width > 0 && out.message_width + margins > in.max_window_width &&
      in.max_window_width - margins > 0) {
    out.message_width = in.max_window_width - margins;
  }

  const double message_height = in.window_height - in.message_top - kBelowMessage;
  out.message_height = message_height > 0 ? message_height : in.message_height;

  const double buttons = in.close_width + in.traffic_width + in.move_width;
  const double gap = std::clamp((out.message_width - buttons) / 2, kMinGap, kMaxGap);
  out.window_width =
      in.width_fixed ? in.window_width : std::max(out.message_width, buttons + 2 * gap) + margins;

  out.close_left =
      std::max(in.message_left, in.message_left + out.message_width / 2 - (buttons + 2 * gap) / 2);
  out.traffic_left = out.close_left + in.close_width + gap;
  out.move_left = out.traffic_left + in.traffic_width + gap;
  const double buttons_top = in.window_height - in.button_height - kBelowButtons;
  out.buttons_top = buttons_top > 0 ? buttons_top : in.buttons_top;

  const double received_left =
      out.window_width - in.received_label_width - in.received_width + kReceivedOffset;
  out.received_left = received_left > 0 ? received_left : in.received_left;
  const double label_left = out.received_left - in.received_label_width - kLabelGap;
  out.received_label_left = label_left > 0 ? label_left : in.received_label_left;
  return out;
}

}  // namespace kestrel
