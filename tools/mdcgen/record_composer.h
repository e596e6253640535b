#pragma once

// Decoded records as the monitor reads them: the bytes of one frame, positions counted from 1.
//
//   1-2     0x75 0xC0 (0x35 may stand for 0x75). 0x75 0xC0 occurs nowhere else in a composed
//           record, so records that a receiver delivers back to back are split apart there.
//   3-4     destination terminal address (position and width adjustable)
//   5       sequence number
//   6       flags
//   7       length code 126 + B: B six-byte blocks hold the record up to the end of its trailer
//   8       trailer code
//   9-12    source and message kind
//   13-14   "TX" in the record that starts a message; 15-19 are its message header (18 is 0x40
//           in a downloaded string and only there), and its text starts at 20.
//   13      in a continuation record the text starts here.
//   then    the trailer, then optional filler that the length code leaves out.
//
// Trailers (check bytes):
//   counted   code 0, 4, 8, 12, 16 or 20 names a trailer of 2, 3, 4, 5, 6 or 7 bytes.
//   marked    any other code: one byte, 0xAA 0xAA, then 0 to 4 bytes. The reader finds the
//             earliest pair among the last five positions and drops it with the byte before it
//             and everything after it.
//   unmarked  any other code and no pair: the reader drops the last 2 bytes and then every
//             trailing zero byte.
//
// The reader drops records under 14 bytes, cuts a record to 6 x B bytes when it is fewer than 13
// bytes longer, and the live display skips a record that is under 18 bytes once trimmed and shows
// a "TX" record from position 13 when its text is under 3 characters. Two records of a terminal
// that are equal once trimmed count as one, so vary the sequence number.

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "mdcgen/frame_encoder.h"

namespace mdcgen {

inline constexpr uint8_t kRecordStart = 0x75;
inline constexpr uint8_t kAlternateRecordStart = 0x35;
inline constexpr uint8_t kRecordSecond = 0xC0;
inline constexpr size_t kLengthCodePosition = 7;
inline constexpr size_t kTrailerCodePosition = 8;
inline constexpr size_t kTxPosition = 13;
inline constexpr size_t kDownloadedPosition = 18;
inline constexpr uint8_t kDownloadedMark = 0x40;
inline constexpr size_t kTxTextPosition = 20;
inline constexpr size_t kContinuationTextPosition = 13;
inline constexpr int kLengthCodeBase = 126;
// The largest record a one-byte length code can describe: (255 - 126) blocks of 6 bytes.
inline constexpr size_t kMaxComposedBytes = (255 - kLengthCodeBase) * kBlockBytes;
// The reader cuts fewer than 13 bytes beyond the length code's blocks.
inline constexpr size_t kMaxFillerBytes = 12;
inline constexpr uint8_t kTrailerMark = 0xAA;
inline constexpr uint8_t kDefaultSearchCode = 0x03;
inline constexpr std::array<uint8_t, 2> kDefaultAddress = {0x12, 0x34};

enum class TrailerKind { kCounted, kMarked, kUnmarked };

struct TrailerFields {
  TrailerKind kind = TrailerKind::kCounted;
  // 0 picks the length that ends the trailer on a block boundary (counted always can; marked
  // when 3 to 7 bytes do, else 3; unmarked is always 2).
  size_t length = 0;
  uint8_t search_code = kDefaultSearchCode;  // byte 8 of marked and unmarked trailers
};

struct RecordFields {
  std::array<uint8_t, 2> start = {kRecordStart, kRecordSecond};
  Bytes address = Bytes(kDefaultAddress.begin(), kDefaultAddress.end());
  size_t address_position = 3;
  uint8_t sequence = 1;
  uint8_t flags = 0;
  std::array<uint8_t, 4> source = {};  // positions 9-12
  bool starts_message = true;
  std::array<uint8_t, 5> message_header = {};  // positions 15-19 of a "TX" record
  bool downloaded = false;                     // "TX" records only
  std::string text;                            // screen language, one byte per character
  TrailerFields trailer;
  // Non-zero bytes after the trailer, which the reader cuts away; the trailer must then end on a
  // block boundary.
  size_t filler = 0;
};

struct Record {
  Bytes bytes;
  std::string error;            // why the fields cannot be composed; bytes is then empty
  size_t text_position = 0;     // of the first text byte
  size_t trailer_position = 0;  // of the first trailer byte
  size_t length = 0;            // up to the end of the trailer: 6 x B rounds it up
};

// The record for `fields`, its trailer chosen so that the reader recovers header and text exactly.
Record ComposeRecord(const RecordFields& fields);

inline constexpr size_t kMinTextPerRecord = 16;
inline constexpr size_t kMaxTextPerRecord = kMaxComposedBytes - (kTxTextPosition - 1) - 7;
// Continuation texts are kept at least this long where a split allows, so that every record
// reaches the live display (18 bytes once trimmed).
inline constexpr size_t kMinContinuationText = 6;

struct ComposedMessage {
  std::vector<Bytes> records;
  std::string error;          // records is empty when set
  uint8_t next_sequence = 0;  // for the terminal's next message
};

// The sequence number after `sequence`; 0xC0 is skipped, since an address byte 0x75 before it
// would make the pair that splits records.
uint8_t NextSequence(uint8_t sequence);

// `text` as a "TX" record and continuation records of at most `text_per_record` bytes each, all
// built from `head` (its text ignored); the sequence number advances with NextSequence and
// `downloaded` marks the first record only. A split never falls inside an escape sequence, never
// separates a repeat sequence from the character before it, never lets a continuation text start
// with "TX", and prefers the end of a line.
ComposedMessage ComposeMessage(const RecordFields& head, std::string_view text,
                               size_t text_per_record);

// The text of a record as the reader sees it: trimmed by the length code and the trailer, and
// then from position 20 of a "TX" record or from 13 of another. Empty for a record the reader
// drops as too short or that does not start with 0x75 or 0x35.
std::string ReadRecordText(const Bytes& record);

}  // namespace mdcgen
