#include "mdcgen/record_composer.h"

#include <algorithm>
#include <cctype>
#include <cstdio>

namespace mdcgen {
namespace {

constexpr uint8_t kEscape = 27;
constexpr uint8_t kCarriageReturn = 13;
constexpr size_t kTxHeaderBytes = kTxTextPosition - 1;
constexpr size_t kContinuationHeaderBytes = kContinuationTextPosition - 1;
constexpr uint8_t kFillerByte = 0xFF;
constexpr size_t kMinRecordBytes = 14;
constexpr int kSalts = 256;
// Up to five parameter characters between ESC "[" and the final letter.
constexpr size_t kMaxEscapeParameters = 5;

bool IsCountedCode(uint8_t code) { return code <= 20 && code % 4 == 0; }

std::string Hex(uint8_t byte) {
  char text[5];
  std::snprintf(text, sizeof text, "0x%02X", byte);
  return text;
}

// 0-based index of the first 0x75 0xC0 at or after `from`, or npos.
size_t FindSplitPair(const Bytes& bytes, size_t from) {
  for (size_t i = from; i + 1 < bytes.size(); ++i) {
    if (bytes[i] == kRecordStart && bytes[i + 1] == kRecordSecond) return i;
  }
  return std::string::npos;
}

// The reader's trimming by length code and trailer code; the record as it is stored.
Bytes Trim(Bytes record) {
  // The reader computes in 16 bits; a byte code keeps the value within them.
  const int blocks_bytes = (record[kLengthCodePosition - 1] - kLengthCodeBase) * kBlockBytes;
  if (blocks_bytes >= 0 && static_cast<long>(record.size()) - blocks_bytes < 13 &&
      static_cast<size_t>(blocks_bytes) < record.size()) {
    record.resize(blocks_bytes);
  }
  if (record.size() < kTrailerCodePosition) return record;
  const uint8_t code = record[kTrailerCodePosition - 1];
  const size_t length = record.size();
  if (IsCountedCode(code)) {
    record.resize(length - std::min(length, size_t{code} / 4 + 2));
    return record;
  }
  size_t keep = length - std::min<size_t>(length, 2);
  // 1-based q from length - 5 to length - 1: the earliest pair among the last positions wins.
  for (size_t q = length > 5 ? length - 5 : 1; q + 1 <= length; ++q) {
    if (record[q - 1] == kTrailerMark && record[q] == kTrailerMark) {
      keep = q >= 2 ? q - 2 : 0;
      break;
    }
  }
  record.resize(keep);
  while (!record.empty() && record.back() == 0) record.pop_back();
  return record;
}

bool IsTx(const Bytes& record) {
  return record.size() >= kTxPosition + 1 && record[kTxPosition - 1] == 'T' &&
         record[kTxPosition] == 'X';
}

// Header positions a caller may fill (1-based), for a record with or without "TX".
bool IsFreeHeaderPosition(size_t position, bool tx) {
  if ((position >= 3 && position <= 6) || (position >= 9 && position <= 12)) return true;
  return tx && position >= kTxPosition + 2 && position < kTxTextPosition;
}

size_t TrailerLength(const TrailerFields& trailer, size_t before, std::string& error) {
  const auto fills = [before](size_t length) { return (before + length) % kBlockBytes == 0; };
  switch (trailer.kind) {
    case TrailerKind::kCounted:
      if (trailer.length == 0) {
        for (size_t length = 2; length <= 7; ++length) {
          if (fills(length)) return length;
        }
      }
      if (trailer.length < 2 || trailer.length > 7) error = "a counted trailer has 2 to 7 bytes";
      return trailer.length;
    case TrailerKind::kMarked:
      if (trailer.length == 0) {
        for (size_t length = 3; length <= 7; ++length) {
          if (fills(length)) return length;
        }
        return 3;
      }
      if (trailer.length < 3 || trailer.length > 7) error = "a marked trailer has 3 to 7 bytes";
      return trailer.length;
    case TrailerKind::kUnmarked:
      if (trailer.length != 0 && trailer.length != 2) error = "an unmarked trailer has 2 bytes";
      return 2;
  }
  return 0;
}

uint8_t TrailerCode(const TrailerFields& trailer, size_t length) {
  return trailer.kind == TrailerKind::kCounted ? static_cast<uint8_t>((length - 2) * 4)
                                               : trailer.search_code;
}

// CRC-16 (polynomial 0x1021) over the record so far, stretched to `length` check bytes; `salt`
// gives other bytes when these would break the layout.
Bytes CheckBytes(const Bytes& covered, size_t length, int salt) {
  uint32_t crc = 0xFFFF;
  for (uint8_t byte : covered) {
    crc ^= uint32_t{byte} << 8;
    for (int bit = 0; bit < 8; ++bit) crc = (crc & 0x8000) ? (crc << 1) ^ 0x1021 : crc << 1;
    crc &= 0xFFFF;
  }
  uint32_t state = crc ^ (static_cast<uint32_t>(salt) * 0x9E3779B9u);
  Bytes bytes;
  for (size_t i = 0; i < length; ++i) {
    if (i < 2) {
      bytes.push_back(static_cast<uint8_t>((i == 0 ? state >> 8 : state) ^ (salt * 0x3B)));
    } else {
      state = state * 1103515245u + 12345u;
      bytes.push_back(static_cast<uint8_t>(state >> 16));
    }
  }
  return bytes;
}

Bytes Trailer(const TrailerFields& trailer, const Bytes& covered, size_t length, int salt) {
  if (trailer.kind != TrailerKind::kMarked) return CheckBytes(covered, length, salt);
  const Bytes check = CheckBytes(covered, length - 2, salt);
  Bytes bytes = {check[0], kTrailerMark, kTrailerMark};
  bytes.insert(bytes.end(), check.begin() + 1, check.end());
  return bytes;
}

// Where a record may end: never inside an escape sequence, nor between a repeat and the
// character it repeats. cut_ok[i] tells whether a record may end before text[i].
std::vector<bool> CutPoints(std::string_view text) {
  std::vector<bool> cut_ok(text.size() + 1, true);
  size_t last_plain_end = 0;  // one past the nearest character outside any sequence
  bool has_plain = false;
  for (size_t i = 0; i < text.size();) {
    size_t end = i + 1;
    bool sequence = false;
    if (static_cast<uint8_t>(text[i]) == kEscape && i + 1 < text.size() && text[i + 1] == '[') {
      size_t j = i + 2;
      while (j < text.size() && j < i + 2 + kMaxEscapeParameters &&
             !std::isalpha(static_cast<unsigned char>(text[j]))) {
        ++j;
      }
      if (j < text.size() && std::isalpha(static_cast<unsigned char>(text[j]))) {
        end = j + 1;
        sequence = true;
        for (size_t k = i + 1; k < end; ++k) cut_ok[k] = false;
        if (text[j] == 'b' && has_plain) {
          for (size_t k = last_plain_end; k <= i; ++k) cut_ok[k] = false;
        }
      }
    }
    if (!sequence) {
      last_plain_end = end;
      has_plain = true;
    }
    i = end;
  }
  return cut_ok;
}

}  // namespace

Record ComposeRecord(const RecordFields& fields) {
  Record result;
  const auto fail = [&result](std::string why) {
    result.bytes.clear();
    result.error = std::move(why);
    return result;
  };
  const bool tx = fields.starts_message;
  if (fields.start[0] != kRecordStart && fields.start[0] != kAlternateRecordStart) {
    return fail("a record starts with 0x75 or 0x35, not " + Hex(fields.start[0]));
  }
  if (fields.address.empty()) return fail("the terminal address has no bytes");
  if (fields.downloaded && !tx) return fail("only a \"TX\" record can be a downloaded string");
  if (!tx && fields.text.starts_with("TX")) {
    return fail("a continuation text starting with \"TX\" would start a new message");
  }

  Bytes bytes(tx ? kTxHeaderBytes : kContinuationHeaderBytes, 0);
  bytes[0] = fields.start[0];
  bytes[1] = fields.start[1];
  bytes[4] = fields.sequence;
  bytes[5] = fields.flags;
  std::copy(fields.source.begin(), fields.source.end(), bytes.begin() + 8);
  if (tx) {
    bytes[kTxPosition - 1] = 'T';
    bytes[kTxPosition] = 'X';
    std::copy(fields.message_header.begin(), fields.message_header.end(),
              bytes.begin() + kTxPosition + 1);
    if (fields.downloaded) bytes[kDownloadedPosition - 1] = kDownloadedMark;
  }
  for (size_t i = 0; i < fields.address.size(); ++i) {
    const size_t position = fields.address_position + i;
    if (!IsFreeHeaderPosition(position, tx) ||
        (fields.downloaded && position == kDownloadedPosition)) {
      return fail("address byte " + std::to_string(i + 1) + " would be at position " +
                  std::to_string(position) + "; the address lies within 3-6, 9-12" +
                  (tx ? " or 15-19" : "") + (fields.downloaded ? " but not 18" : ""));
    }
    bytes[position - 1] = fields.address[i];
  }
  if (tx && !fields.downloaded && bytes[kDownloadedPosition - 1] == kDownloadedMark) {
    return fail("position 18 holds 0x40 only in a downloaded string");
  }
  result.text_position = bytes.size() + 1;
  bytes.insert(bytes.end(), fields.text.begin(), fields.text.end());
  result.trailer_position = bytes.size() + 1;

  std::string error;
  const size_t trailer_length = TrailerLength(fields.trailer, bytes.size(), error);
  if (!error.empty()) return fail(error);
  if (fields.trailer.kind != TrailerKind::kCounted && IsCountedCode(fields.trailer.search_code)) {
    return fail("trailer code " + std::to_string(fields.trailer.search_code) +
                " names a counted trailer; a searched one needs another code");
  }
  const size_t length = bytes.size() + trailer_length;
  if (length > kMaxComposedBytes) {
    return fail("the record would have " + std::to_string(length) +
                " bytes; a length code covers " + std::to_string(kMaxComposedBytes));
  }
  if (fields.filler > kMaxFillerBytes) {
    return fail("at most " + std::to_string(kMaxFillerBytes) + " filler bytes are cut away");
  }
  if (fields.filler > 0 && length % kBlockBytes != 0) {
    return fail("filler needs a trailer that ends on a block boundary");
  }
  result.length = length;
  bytes[kLengthCodePosition - 1] =
      static_cast<uint8_t>(kLengthCodeBase + (length + kBlockBytes - 1) / kBlockBytes);
  bytes[kTrailerCodePosition - 1] = TrailerCode(fields.trailer, trailer_length);

  if (const size_t pair = FindSplitPair(bytes, 1); pair != std::string::npos) {
    return fail("0x75 0xC0 at position " + std::to_string(pair + 1) +
                " would split the record there");
  }
  if (fields.trailer.kind != TrailerKind::kCounted) {
    if (bytes.back() == 0) {
      return fail("the reader drops the zero bytes that end the text of a searched trailer");
    }
    const Bytes tail(bytes.end() - std::min<size_t>(bytes.size(), 6), bytes.end());
    for (size_t i = 0; i + 1 < tail.size(); ++i) {
      if (tail[i] == kTrailerMark && tail[i + 1] == kTrailerMark) {
        return fail("0xAA 0xAA in the last bytes of the text would be taken for the trailer");
      }
    }
  }

  // Check bytes are arbitrary; the first salt that keeps every rule wins.
  const Bytes expected = bytes;
  for (int salt = 0; salt < kSalts; ++salt) {
    Bytes candidate = expected;
    const Bytes trailer = Trailer(fields.trailer, expected, trailer_length, salt);
    candidate.insert(candidate.end(), trailer.begin(), trailer.end());
    candidate.insert(candidate.end(), fields.filler, kFillerByte);
    if (candidate.back() == 0 || trailer.back() == 0) continue;
    if (FindSplitPair(candidate, 1) != std::string::npos) continue;
    if (Trim(candidate) != expected) continue;
    result.bytes = std::move(candidate);
    return result;
  }
  return fail("no trailer keeps the reader's trimming exact");
}

uint8_t NextSequence(uint8_t sequence) {
  const auto next = static_cast<uint8_t>(sequence + 1);
  return next == kRecordSecond ? next + 1 : next;
}

ComposedMessage ComposeMessage(const RecordFields& head, std::string_view text,
                               size_t text_per_record) {
  ComposedMessage message;
  if (text_per_record < kMinTextPerRecord || text_per_record > kMaxTextPerRecord) {
    message.error = "a record carries " + std::to_string(kMinTextPerRecord) + " to " +
                    std::to_string(kMaxTextPerRecord) + " bytes of text";
    return message;
  }
  const std::vector<bool> cut_ok = CutPoints(text);
  const auto allowed = [&](size_t end) {
    return end == text.size() || (cut_ok[end] && text.substr(end, 2) != "TX");
  };

  std::vector<size_t> ends;
  for (size_t start = 0; start < text.size() || ends.empty();) {
    size_t end = std::string_view::npos;
    if (text.size() - start <= text_per_record) {
      end = text.size();
    } else {
      size_t line_end = 0;
      for (size_t e = start + text_per_record; e > start; --e) {
        if (!allowed(e)) continue;
        if (end == std::string_view::npos) end = e;
        if (text[e - 1] == kCarriageReturn) {
          line_end = e;
          break;
        }
        if (e <= start + text_per_record / 2) break;
      }
      if (line_end > start + text_per_record / 2) end = line_end;
    }
    if (end == std::string_view::npos) {
      message.error = "the text cannot be split into records of at most " +
                      std::to_string(text_per_record) +
                      " bytes without splitting an escape sequence";
      return message;
    }
    ends.push_back(end);
    start = end;
  }
  // A short last piece would not reach the live display; move the cut before it back.
  if (ends.size() >= 2 && text.size() - ends[ends.size() - 2] < kMinContinuationText) {
    const size_t previous_start = ends.size() >= 3 ? ends[ends.size() - 3] : 0;
    for (size_t e = text.size() - kMinContinuationText; e > previous_start; --e) {
      if (text.size() - e > text_per_record) break;
      if (allowed(e)) {
        ends[ends.size() - 2] = e;
        break;
      }
    }
  }

  size_t start = 0;
  uint8_t sequence = head.sequence;
  for (size_t i = 0; i < ends.size(); ++i) {
    RecordFields fields = head;
    fields.starts_message = i == 0;
    fields.downloaded = head.downloaded && i == 0;
    fields.sequence = sequence;
    sequence = NextSequence(sequence);
    fields.text = std::string(text.substr(start, ends[i] - start));
    start = ends[i];
    Record record = ComposeRecord(fields);
    if (!record.error.empty()) {
      message.records.clear();
      message.error = "record " + std::to_string(i + 1) + ": " + record.error;
      return message;
    }
    message.records.push_back(std::move(record.bytes));
  }
  message.next_sequence = sequence;
  return message;
}

std::string ReadRecordText(const Bytes& record) {
  if (record.size() < kMinRecordBytes ||
      (record[0] != kRecordStart && record[0] != kAlternateRecordStart)) {
    return {};
  }
  const Bytes trimmed = Trim(record);
  const size_t from = IsTx(trimmed) ? kTxTextPosition : kContinuationTextPosition;
  if (trimmed.size() < from) return {};
  return std::string(trimmed.begin() + (from - 1), trimmed.end());
}

}  // namespace mdcgen
