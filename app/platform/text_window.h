#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace kestrel {

// Colour as the profile keeps it: red in the low byte, green next, blue in the third; -1 for the
// window's own colour.
using Colour = int32_t;
inline constexpr Colour kDefaultColour = -1;

// A multi-line text box that text is appended to: the MDT display, the raw data window.
// Text is bytes, one character per byte.
class TextWindow {
 public:
  virtual ~TextWindow() = default;
  virtual std::string Text() const = 0;
  virtual size_t Length() const = 0;
  // Replaces the whole text and puts the insertion point at its end.
  virtual void SetText(std::string_view text) = 0;
  virtual void RemoveFront(size_t count) = 0;
  // Appends at the end, in `colour` where the window can show colours.
  virtual void Append(std::string_view text, Colour colour) = 0;
};

// A text window that only keeps its text: for headless use and tests.
class PlainTextWindow : public TextWindow {
 public:
  std::string Text() const override { return text_; }
  size_t Length() const override { return text_.size(); }
  void SetText(std::string_view text) override { text_ = text; }
  void RemoveFront(size_t count) override;
  void Append(std::string_view text, Colour) override { text_ += text; }

 private:
  std::string text_;
};

}  // namespace kestrel
