#include "app/traffic/record.h"

namespace kestrel {

int ByteAt(std::string_view record, size_t position) {
  return position >= 1 && position <= record.size()
             ? static_cast<unsigned char>(record[position - 1])
             : -1;
}

std::string_view From(std::string_view record, size_t position) {
  if (position < 1) position = 1;
  return position > record.size() ? std::string_view() : record.substr(position - 1);
}

std::string_view Left(std::string_view record, size_t count) { return record.substr(0, count); }

std::string HexText(std::string_view bytes) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  std::string text;
  text.reserve(bytes.size() * 2);
  for (const char c : bytes) {
    const auto byte = static_cast<unsigned char>(c);
    text += kDigits[byte >> 4];
    text += kDigits[byte & 0xF];
  }
  return text;
}

bool IsTxRecord(std::string_view record) { return From(record, kTxPosition).starts_with("TX"); }

std::string_view RecordBody(std::string_view record) {
  return From(record, IsTxRecord(record) ? kTxBodyPosition : kContinuationBodyPosition);
}

}  // namespace kestrel
