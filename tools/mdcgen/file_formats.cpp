#include "mdcgen/file_formats.h"

namespace mdcgen {
namespace {

constexpr size_t kWavHeaderBytes = 44;

void PutLe(Bytes& out, uint32_t value, int bytes) {
  for (int i = 0; i < bytes; ++i) out.push_back((value >> (8 * i)) & 0xFF);
}

void PutTag(Bytes& out, std::string_view tag) { out.insert(out.end(), tag.begin(), tag.end()); }

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\r'; }

void AppendHex(std::string& text, uint8_t byte) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  text += kDigits[byte >> 4];
  text += kDigits[byte & 0xF];
}

std::string Describe(char c) {
  std::string text;
  if (c > ' ' && c < 0x7F) {
    text += '\'';
    text += c;
    text += '\'';
    return text;
  }
  text = "byte 0x";
  AppendHex(text, static_cast<uint8_t>(c));
  return text;
}

}  // namespace

Bytes WavFile(std::span<const uint8_t> pcm, int rate) {
  const auto data_size = static_cast<uint32_t>(pcm.size());
  const uint32_t pad = data_size % 2;  // RIFF chunks are word aligned
  Bytes out;
  out.reserve(kWavHeaderBytes + data_size + pad);
  PutTag(out, "RIFF");
  PutLe(out, 36 + data_size + pad, 4);
  PutTag(out, "WAVE");
  PutTag(out, "fmt ");
  PutLe(out, 16, 4);
  PutLe(out, 1, 2);  // PCM
  PutLe(out, 1, 2);  // mono
  PutLe(out, rate, 4);
  PutLe(out, rate, 4);  // bytes per second
  PutLe(out, 1, 2);     // bytes per frame
  PutLe(out, 8, 2);     // bits per sample
  PutTag(out, "data");
  PutLe(out, data_size, 4);
  out.insert(out.end(), pcm.begin(), pcm.end());
  if (pad) out.push_back(128);
  return out;
}

std::string SlicerText(std::span<const SlicerEntry> entries) {
  std::string text;
  text.reserve(entries.size() * 8);
  for (const SlicerEntry& entry : entries) {
    text += std::to_string(entry.duration);
    text += ' ';
    text += std::to_string(entry.status);
    text += '\n';
  }
  return text;
}

FrameList ParseFrames(std::string_view text) {
  FrameList list;
  size_t line_number = 0;
  while (!text.empty()) {
    ++line_number;
    const size_t end = text.find('\n');
    const std::string_view line = text.substr(0, end);
    text = end == std::string_view::npos ? std::string_view{} : text.substr(end + 1);

    auto fail = [&](const std::string& why) {
      list.frames.clear();
      list.error = "line " + std::to_string(line_number) + ": " + why;
      return list;
    };
    const size_t first = line.find_first_not_of(" \t\r");
    if (first != std::string_view::npos && line[first] == '#') continue;
    Bytes frame;
    size_t i = 0;
    while (i < line.size()) {
      if (IsSpace(line[i])) {
        ++i;
        continue;
      }
      const int high = HexValue(line[i]);
      if (high < 0) {
        return fail(Describe(line[i]) + " at column " + std::to_string(i + 1) +
                    " is not a hexadecimal digit");
      }
      if (i + 1 == line.size() || IsSpace(line[i + 1])) {
        return fail("the digit at column " + std::to_string(i + 1) + " does not complete a byte");
      }
      const int low = HexValue(line[i + 1]);
      if (low < 0) {
        return fail(Describe(line[i + 1]) + " at column " + std::to_string(i + 2) +
                    " is not a hexadecimal digit");
      }
      if (frame.size() == kMaxFrameBytes) {
        return fail("the frame is longer than " + std::to_string(kMaxFrameBytes) + " bytes");
      }
      frame.push_back(static_cast<uint8_t>(high * 16 + low));
      i += 2;
    }
    if (frame.empty()) continue;
    if (list.frames.size() == kMaxFrames) {
      return fail("more than " + std::to_string(kMaxFrames) + " frames");
    }
    list.frames.push_back(std::move(frame));
  }
  return list;
}

std::string FormatFrames(std::span<const Bytes> frames) {
  std::string text;
  for (const Bytes& frame : frames) {
    for (uint8_t byte : frame) AppendHex(text, byte);
    text += '\n';
  }
  return text;
}

MessageList ParseMessages(std::string_view text) {
  MessageList list;
  size_t line_number = 0;
  while (!text.empty()) {
    ++line_number;
    const size_t end = text.find('\n');
    std::string_view line = text.substr(0, end);
    text = end == std::string_view::npos ? std::string_view{} : text.substr(end + 1);
    if (line.ends_with('\r')) line.remove_suffix(1);

    auto fail = [&](const std::string& why) {
      list.messages.clear();
      list.error = "line " + std::to_string(line_number) + ": " + why;
      return list;
    };
    size_t i = 0;
    while (i < line.size() && IsSpace(line[i])) ++i;
    if (i == line.size() || line[i] == '#') continue;

    MessageLine message;
    message.line = line_number;
    std::string digits;
    for (; i < line.size() && !IsSpace(line[i]); ++i) {
      if (HexValue(line[i]) < 0) return fail("the address is not hexadecimal digits");
      if (digits.size() == 2 * kMaxMessageAddressBytes) {
        return fail("the address has more than " + std::to_string(kMaxMessageAddressBytes) +
                    " bytes");
      }
      digits += line[i];
    }
    // Terminals are written as numbers, so a short address means leading zeros.
    if (digits.size() < kMessageAddressDigits) {
      digits.insert(0, kMessageAddressDigits - digits.size(), '0');
    }
    if (digits.size() % 2 != 0) return fail("the address is not whole bytes of hexadecimal digits");
    for (size_t d = 0; d < digits.size(); d += 2) {
      message.address.push_back(
          static_cast<uint8_t>(HexValue(digits[d]) * 16 + HexValue(digits[d + 1])));
    }
    while (i < line.size() && IsSpace(line[i])) ++i;
    if (i == line.size()) return fail("no text after the address");
    for (; i < line.size(); ++i) {
      if (message.text.size() == kMaxMessageBytes) {
        return fail("the text is longer than " + std::to_string(kMaxMessageBytes) + " bytes");
      }
      if (line[i] != '\\') {
        message.text += line[i];
        continue;
      }
      const size_t column = i + 1;
      const char code = i + 1 < line.size() ? line[++i] : '\0';
      if (code == 'e') {
        message.text += '\x1b';
      } else if (code == 'r') {
        message.text += '\r';
      } else if (code == 'f') {
        message.text += '\f';
      } else if (code == '\\') {
        message.text += '\\';
      } else if (code == 'x' && i + 2 < line.size() && HexValue(line[i + 1]) >= 0 &&
                 HexValue(line[i + 2]) >= 0) {
        message.text += static_cast<char>(HexValue(line[i + 1]) * 16 + HexValue(line[i + 2]));
        i += 2;
      } else {
        return fail("column " + std::to_string(column) +
                    ": a backslash starts \\e, \\r, \\f, \\\\ or \\xHH");
      }
    }
    if (list.messages.size() == kMaxFrames) {
      return fail("more than " + std::to_string(kMaxFrames) + " messages");
    }
    list.messages.push_back(std::move(message));
  }
  return list;
}

}  // namespace mdcgen
