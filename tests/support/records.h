#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace kestrel_test {

// A decoded record as the program reads it: 0x75 0xC0, the terminal address at 3-4, a length
// code at 7 that keeps the whole record, trailer code 0 (two trailer bytes), then "TX" and
// five more header bytes before the text of a new message, or the text of a continuation right
// after the twelve header bytes. The two trailer bytes close it.
inline std::string Record(uint16_t terminal, bool tx, std::string_view text,
                          std::string_view trailer = "\x5A\x5A") {
  std::string record = {
      '\x75', '\xC0', char(terminal >> 8), char(terminal & 0xFF), 1, 0, char(126 + 167), 0, 0, 0,
      0,      0};
  if (tx) record += std::string("TX") + std::string(5, '\x01');
  record += text;
  record += trailer;
  return record;
}

// The record as the store keeps it, after the trailer is trimmed.
inline std::string Stored(uint16_t terminal, bool tx, std::string_view text) {
  return Record(terminal, tx, text, "");
}

}  // namespace kestrel_test
