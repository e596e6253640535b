#pragma once

#include <string>
#include <string_view>

#include "app/platform/text_window.h"

namespace kestrel {

// A record as text: CR LF, the record with characters below 32 shown as ".", CR LF.
std::string RawDataText(std::string_view record);
// A record as a hex dump: CR LF, then lines of 18 bytes ("XX " each, three spaces, the
// characters), the last line padded with "00 " so its characters line up.
std::string RawDataHex(std::string_view record);

// The raw data window's content: every record as it arrives, before any check.
class RawData {
 public:
  // The window is open while a text window is attached.
  void Attach(TextWindow* window) { window_ = window; }
  bool Open() const { return window_ != nullptr; }
  void SetHex(bool on) { hex_ = on; }
  bool Hex() const { return hex_; }
  void Dump(std::string_view record);

 private:
  TextWindow* window_ = nullptr;
  bool hex_ = false;
};

}  // namespace kestrel
