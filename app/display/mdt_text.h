#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "app/platform/text_window.h"

namespace kestrel {

// The terminals' screen language made readable: escape sequences (ESC "[", up to five
// characters that are not letters, a final letter) for repeats, cursor and attributes, carriage
// returns and other control characters.

inline constexpr size_t kMaxWindowText = 16000;  // the most a text window keeps

// Repeats expanded, sequences removed, CR made CR LF, other control characters shown as ".".
std::string FormatData(std::string_view text);
// ESC "[" n "b" repeats the character before it n more times.
void ExpandRepeatingCharacter(std::string& text);
// Removes the sequences ending in b, o, h, l, H and m, then form feeds and character 30.
std::string RemoveEscapeSequences(std::string_view text);
// Removes the whole sequences whose final letter is `letter`.
std::string RemoveSingleEscapeSequences(char letter, std::string_view text);
std::string ReplaceText(std::string_view text, std::string_view search,
                        std::string_view replacement);
// Breaks every CR LF-separated line longer than `width` into lines of `width` characters.
std::string WrapLines(std::string_view text, int width);
// Appends to a window that keeps at most kMaxWindowText characters, dropping from its front.
// A colour is used when red + green + blue > 0. Returns 1, or 0 when it failed.
int AddText(TextWindow& window, std::string_view text, int red, int green, int blue);

}  // namespace kestrel
