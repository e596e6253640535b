#include "app/display/raw_data.h"

#include "app/display/mdt_text.h"
#include "app/traffic/record.h"

namespace kestrel {
namespace {

constexpr size_t kBytesPerLine = 18;

char Shown(char c) { return static_cast<unsigned char>(c) < 32 ? '.' : c; }

}  // namespace

std::string RawDataText(std::string_view record) {
  std::string text = "\r\n";
  text.reserve(record.size() + 4);
  for (char c : record) text += Shown(c);
  text += "\r\n";
  return text;
}

std::string RawDataHex(std::string_view record) {
  std::string text = "\r\n";
  text.reserve(2 + (record.size() / kBytesPerLine + 1) * (kBytesPerLine * 4 + 5));
  for (size_t start = 0; start < record.size(); start += kBytesPerLine) {
    const std::string_view line = record.substr(start, kBytesPerLine);
    for (size_t i = 0; i < line.size(); ++i) text += HexText(line.substr(i, 1)) + ' ';
    for (size_t i = line.size(); i < kBytesPerLine; ++i) text += "00 ";
    text += "   ";
    for (char c : line) text += Shown(c);
    text += "\r\n";
  }
  return text;
}

void RawData::Dump(std::string_view record) {
  if (window_ == nullptr) return;
  AddText(*window_, hex_ ? RawDataHex(record) : RawDataText(record), 0, 0, 0);
}

}  // namespace kestrel
