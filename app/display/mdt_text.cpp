#include "app/display/mdt_text.h"

#include <algorithm>
#include <optional>

namespace kestrel {
namespace {

constexpr char kEsc = 27;
constexpr size_t kMaxParameters = 5;
// A repeat count is a 16-bit value; larger ones leave the sequence as it is.
constexpr long kMaxCount = 32767;
// How many characters the repeats of one text may add in total. Far beyond any terminal screen,
// and it keeps a body full of maximal repeats from growing a thousandfold.
constexpr size_t kMaxRepeatedCharacters = 65536;

bool IsLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

// The length of the whole sequence that starts at `i`, or 0 when none does there.
size_t SequenceLength(std::string_view text, size_t i) {
  if (text[i] != kEsc || i + 1 >= text.size() || text[i + 1] != '[') return 0;
  for (size_t k = 0; k <= kMaxParameters; ++k) {
    const size_t j = i + 2 + k;
    if (j >= text.size()) return 0;
    if (IsLetter(text[j])) return k + 3;
  }
  return 0;
}

bool IsSpace(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

// The leading number of a repeat's parameters: blanks, a sign, digits; no digits reads as 0.
// None when the value is beyond the 16-bit range.
std::optional<long> ParseCount(std::string_view parameters) {
  size_t i = 0;
  while (i < parameters.size() && IsSpace(parameters[i])) ++i;
  bool negative = false;
  if (i < parameters.size() && (parameters[i] == '+' || parameters[i] == '-')) {
    negative = parameters[i] == '-';
    ++i;
  }
  long value = 0;
  for (; i < parameters.size() && parameters[i] >= '0' && parameters[i] <= '9'; ++i) {
    value = value * 10 + (parameters[i] - '0');  // at most five digits: no overflow
  }
  if (negative) value = -value;
  if (value > kMaxCount || value < -kMaxCount - 1) return std::nullopt;
  return value;
}

}  // namespace

std::string FormatData(std::string_view text) {
  std::string expanded(text);
  ExpandRepeatingCharacter(expanded);
  const std::string plain = RemoveEscapeSequences(expanded);
  std::string result;
  result.reserve(plain.size() + plain.size() / 8);
  for (char c : plain) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte >= 32) {
      result += c;
    } else if (byte == 13) {
      result += "\r\n";
    } else {
      result += '.';
    }
  }
  return result;
}

void ExpandRepeatingCharacter(std::string& text) {
  std::string result;
  result.reserve(text.size());
  // The nearest character so far that is not part of a whole sequence: what a repeat repeats.
  std::optional<char> last;
  size_t budget = kMaxRepeatedCharacters;
  size_t i = 0;
  while (i < text.size()) {
    const size_t length = SequenceLength(text, i);
    if (length == 0) {
      last = text[i];
      result += text[i++];
      continue;
    }
    const std::string_view sequence = std::string_view(text).substr(i, length);
    i += length;
    // Without a character to repeat the sequence stays, and removal takes it away later.
    if (sequence.back() != 'b' || !last) {
      result += sequence;
      continue;
    }
    const std::optional<long> count = ParseCount(sequence.substr(2, length - 3));
    if (!count) {
      result += sequence;
      continue;
    }
    const size_t repeats = std::min(size_t(std::max(*count, 0L)), budget);
    budget -= repeats;
    result.append(repeats, *last);
  }
  text = std::move(result);
}

std::string RemoveEscapeSequences(std::string_view text) {
  std::string result(text);
  for (char letter : {'b', 'o', 'h', 'l', 'H', 'm'}) {
    result = RemoveSingleEscapeSequences(letter, result);
  }
  result = ReplaceText(result, "\x0C", "");
  return ReplaceText(result, "\x1E", "");
}

std::string RemoveSingleEscapeSequences(char letter, std::string_view text) {
  std::string result;
  result.reserve(text.size());
  size_t i = 0;
  while (i < text.size()) {
    const size_t length = SequenceLength(text, i);
    if (length == 0) {
      result += text[i++];
      continue;
    }
    if (text[i + length - 1] != letter) result += text.substr(i, length);
    i += length;
  }
  return result;
}

std::string ReplaceText(std::string_view text, std::string_view search,
                        std::string_view replacement) {
  if (search.empty()) return std::string(text);
  std::string result;
  result.reserve(text.size());
  size_t start = 0;
  for (size_t found; (found = text.find(search, start)) != std::string_view::npos;
       start = found + search.size()) {
    result += text.substr(start, found - start);
    result += replacement;
  }
  result += text.substr(start);
  return result;
}

std::string WrapLines(std::string_view text, int width) {
  if (text.empty()) return std::string();
  // A width below one would never shorten a line.
  const size_t columns = size_t(std::max(width, 1));
  std::string result;
  result.reserve(text.size() + 2 * (text.size() / columns + 1));
  size_t start = 0;
  while (true) {
    const size_t end = text.find("\r\n", start);
    std::string_view line =
        text.substr(start, end == std::string_view::npos ? text.npos : end - start);
    while (line.size() > columns) {
      result += line.substr(0, columns);
      result += "\r\n";
      line.remove_prefix(columns);
    }
    result += line;
    if (end == std::string_view::npos) break;
    result += "\r\n";
    start = end + 2;
  }
  return result;
}

int AddText(TextWindow& window, std::string_view text, int red, int green, int blue) {
  Colour colour = kDefaultColour;
  if (red + green + blue > 0) {
    if (red < 0 || green < 0 || blue < 0) return 0;
    colour = std::min(red, 255) | std::min(green, 255) << 8 | std::min(blue, 255) << 16;
  }
  // A text longer than the window keeps only the part that fits.
  if (text.size() > kMaxWindowText) text.remove_prefix(text.size() - kMaxWindowText);
  const size_t length = window.Length();
  if (length + text.size() > kMaxWindowText) {
    window.RemoveFront(length + text.size() - kMaxWindowText);
  }
  window.Append(text, colour);
  return 1;
}

}  // namespace kestrel
