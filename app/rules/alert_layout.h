#pragma once

namespace kestrel {

// The alert window's geometry after it was resized, all in twips. Window sizes are the whole
// window's, frame included, as profiles keep them; control positions are inside the window.
struct AlertLayoutInput {
  double window_width = 0;
  double window_height = 0;
  // Minimised or maximised: the window's width cannot be set.
  bool width_fixed = false;
  // The widest window the screen shows; 0 for no limit.
  double max_window_width = 0;
  double message_left = 0;
  double message_top = 0;
  double message_height = 0;  // as it is now
  double glyph_width = 0;     // of "i" in the MDT font
  int mdt_columns = 0;
  double close_width = 0;
  double traffic_width = 0;
  double move_width = 0;
  double button_height = 0;
  double buttons_top = 0;  // as it is now
  double received_label_width = 0;
  double received_width = 0;
  double received_left = 0;  // as it is now
  double received_label_left = 0;
};

struct AlertLayout {
  double window_width = 0;
  double message_width = 0;
  double message_height = 0;
  double close_left = 0;
  double traffic_left = 0;
  double move_left = 0;
  double buttons_top = 0;
  double received_left = 0;
  double received_label_left = 0;
};

// The text box holds one MDT line (MDTColumns glyphs + 450) and fills the height above the buttons;
// the window is as wide as the box plus its margins; Close, Traffic and Move are centred under the
// box with equal gaps of at most 355; the Received labels keep to the right edge. A height, top or
// left that would come out 0 or less keeps its present value, so a window made too short keeps its
// last good layout. Beyond the plain arithmetic: the box never makes the window wider than
// `max_window_width`, and a box too narrow for the three buttons neither crowds them (the gaps
// stay 60, the group starts at the box's left) nor clips them (the window grows to hold them).
AlertLayout LayOutAlert(const AlertLayoutInput& in);

}  // namespace kestrel
