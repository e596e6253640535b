// Composed records against the layout the monitor reads, and the demo traffic through the decoder.

#include "mdcgen/record_composer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "decoder/decoder.h"
#include "mdcgen/demo_traffic.h"
#include "mdcgen/frame_encoder.h"
#include "mdcgen/signal.h"

namespace mdcgen {
namespace {

const std::string kEsc = "\x1b";

// 1-based, as the layout is written.
uint8_t At(const Bytes& record, size_t position) { return record.at(position - 1); }

std::string TextOf(const Bytes& record, size_t from, size_t to) {
  return std::string(record.begin() + (from - 1), record.begin() + (to - 1));
}

bool HasSplitPairAfterStart(const Bytes& record) {
  for (size_t i = 1; i + 1 < record.size(); ++i) {
    if (record[i] == 0x75 && record[i + 1] == 0xC0) return true;
  }
  return false;
}

// The rules every composed record keeps, checked without the composer's own reader model.
void ExpectSound(const Record& record) {
  ASSERT_EQ(record.error, "");
  const Bytes& bytes = record.bytes;
  ASSERT_GE(bytes.size(), 14u);
  EXPECT_LE(bytes.size(), kReceiverFrameBytes);
  EXPECT_NE(bytes.back(), 0);
  EXPECT_FALSE(HasSplitPairAfterStart(bytes));
  EXPECT_EQ(At(bytes, 7), 126 + (record.length + 5) / 6);
  const size_t trailer = record.length + 1 - record.trailer_position;
  const uint8_t code = At(bytes, 8);
  if (code <= 20 && code % 4 == 0) {
    EXPECT_EQ(trailer, code / 4u + 2);
  } else {
    // The reader takes the first pair among the last five positions.
    size_t q = 0;
    for (size_t p = record.length - 5; p < record.length; ++p) {
      if (At(bytes, p) == 0xAA && At(bytes, p + 1) == 0xAA) {
        q = p;
        break;
      }
    }
    if (q == 0) {
      EXPECT_EQ(trailer, 2u);
    } else {
      EXPECT_EQ(q - 1, record.trailer_position);
    }
    EXPECT_NE(At(bytes, record.trailer_position - 1), 0);
  }
}

TEST(ComposeRecordTest, TxAndContinuationLayout) {
  RecordFields fields;
  fields.address = {0x12, 0x07};
  fields.sequence = 0x21;
  fields.flags = 0x10;
  fields.source = {0x00, 0x01, 0x05, 0x01};
  fields.message_header = {0x04, 0x12, 0x05, 0x00, 0x02};
  fields.text = "PLATE 4KTR219" + kEsc + "[2;5H";
  const Record tx = ComposeRecord(fields);
  ExpectSound(tx);
  const Bytes& b = tx.bytes;
  EXPECT_EQ(At(b, 1), 0x75);
  EXPECT_EQ(At(b, 2), 0xC0);
  EXPECT_EQ(At(b, 3), 0x12);
  EXPECT_EQ(At(b, 4), 0x07);
  EXPECT_EQ(At(b, 5), 0x21);
  EXPECT_EQ(At(b, 6), 0x10);
  EXPECT_EQ(TextOf(b, 9, 13), std::string("\x00\x01\x05\x01", 4));
  EXPECT_EQ(TextOf(b, 13, 15), "TX");
  EXPECT_EQ(TextOf(b, 15, 20), std::string("\x04\x12\x05\x00\x02", 5));
  EXPECT_EQ(tx.text_position, 20u);
  EXPECT_EQ(TextOf(b, 20, tx.trailer_position), fields.text);
  // 19 + 19 text bytes: a counted trailer of 4 fills seven blocks.
  EXPECT_EQ(b.size(), 42u);
  EXPECT_EQ(At(b, 7), 126 + 7);
  EXPECT_EQ(At(b, 8), 8);
  EXPECT_EQ(ReadRecordText(b), fields.text);

  fields.starts_message = false;
  fields.text = "ESC AND MORE TEXT";
  const Record continuation = ComposeRecord(fields);
  ExpectSound(continuation);
  EXPECT_EQ(continuation.text_position, 13u);
  EXPECT_EQ(TextOf(continuation.bytes, 13, continuation.trailer_position), fields.text);
  EXPECT_EQ(ReadRecordText(continuation.bytes), fields.text);

  // The address may sit elsewhere and be wider; what it covers is its own.
  fields.starts_message = true;
  fields.address = {0x01, 0x02, 0x03};
  fields.address_position = 15;
  const Record moved = ComposeRecord(fields);
  ExpectSound(moved);
  EXPECT_EQ(TextOf(moved.bytes, 15, 18), "\x01\x02\x03");
  EXPECT_EQ(At(moved.bytes, 3), 0);
}

TEST(ComposeRecordTest, DownloadedStringsAndTheOtherStart) {
  RecordFields fields;
  fields.text = "F1 ENROUTE";
  fields.downloaded = true;
  const Record downloaded = ComposeRecord(fields);
  ExpectSound(downloaded);
  EXPECT_EQ(At(downloaded.bytes, 18), 0x40);
  fields.downloaded = false;
  EXPECT_EQ(At(ComposeRecord(fields).bytes, 18), 0);

  fields.start = {0x35, 0xC0};
  fields.trailer.kind = TrailerKind::kUnmarked;
  const Record other = ComposeRecord(fields);
  ExpectSound(other);
  EXPECT_EQ(At(other.bytes, 1), 0x35);
  EXPECT_EQ(ReadRecordText(other.bytes), fields.text);
}

struct TrailerCase {
  TrailerKind kind;
  size_t length;
  size_t text_bytes;
  uint8_t code;          // expected byte 8
  size_t trailer_bytes;  // expected
};

class TrailerTest : public ::testing::TestWithParam<TrailerCase> {};

TEST_P(TrailerTest, CodeLengthAndReadBack) {
  const TrailerCase& c = GetParam();
  RecordFields fields;
  fields.text = std::string(c.text_bytes, 'A');
  fields.text.back() = 'u';  // 0x75: the trailer must not follow it with 0xC0
  fields.trailer.kind = c.kind;
  fields.trailer.length = c.length;
  const Record record = ComposeRecord(fields);
  ExpectSound(record);
  EXPECT_EQ(At(record.bytes, 8), c.code);
  EXPECT_EQ(record.bytes.size() + 1 - record.trailer_position, c.trailer_bytes);
  if (c.kind == TrailerKind::kMarked) {
    EXPECT_NE(At(record.bytes, record.trailer_position), 0xAA);
    EXPECT_EQ(At(record.bytes, record.trailer_position + 1), 0xAA);
    EXPECT_EQ(At(record.bytes, record.trailer_position + 2), 0xAA);
  }
  EXPECT_EQ(ReadRecordText(record.bytes), fields.text);
}

INSTANTIATE_TEST_SUITE_P(
    AllKinds, TrailerTest,
    ::testing::Values(
        // Counted: each code, and the automatic length that fills the last block.
        TrailerCase{TrailerKind::kCounted, 2, 10, 0, 2},
        TrailerCase{TrailerKind::kCounted, 3, 10, 4, 3},
        TrailerCase{TrailerKind::kCounted, 4, 10, 8, 4},
        TrailerCase{TrailerKind::kCounted, 5, 10, 12, 5},
        TrailerCase{TrailerKind::kCounted, 6, 10, 16, 6},
        TrailerCase{TrailerKind::kCounted, 7, 10, 20, 7},
        TrailerCase{TrailerKind::kCounted, 0, 13, 8, 4},  // 19 + 13 + 4 = 36
        TrailerCase{TrailerKind::kCounted, 0, 10, 20, 7},
        TrailerCase{TrailerKind::kMarked, 3, 10, kDefaultSearchCode, 3},
        TrailerCase{TrailerKind::kMarked, 7, 10, kDefaultSearchCode, 7},
        TrailerCase{TrailerKind::kMarked, 0, 12, kDefaultSearchCode, 5},
        TrailerCase{TrailerKind::kMarked, 0, 15, kDefaultSearchCode, 3},  // filling needs 8
        TrailerCase{TrailerKind::kUnmarked, 0, 10, kDefaultSearchCode, 2}));

TEST(ComposeRecordTest, FillerAndTheLongestRecord) {
  RecordFields fields;
  fields.text = "STATUS ENRT #24-031877";
  fields.filler = 6;
  const Record record = ComposeRecord(fields);
  ExpectSound(record);
  EXPECT_EQ(record.length % 6, 0u);
  EXPECT_EQ(record.bytes.size(), record.length + 6);
  EXPECT_EQ((At(record.bytes, 7) - 126) * 6u, record.length);
  EXPECT_EQ(ReadRecordText(record.bytes), fields.text);

  fields.trailer.length = 2;  // 19 + 22 + 2 does not end on a block boundary
  EXPECT_NE(ComposeRecord(fields).error, "");

  // The longest text a length code still describes.
  fields = RecordFields();
  fields.text = std::string(kMaxComposedBytes - 19 - 2, 'A');
  ExpectSound(ComposeRecord(fields));
}

struct Refusal {
  void (*change)(RecordFields&);
  std::string_view reason;  // part of the error text
};

TEST(ComposeRecordTest, RefusesWhatTheReaderWouldMisread) {
  // clang-format off
  const Refusal refusals[] = {
      {[](RecordFields& f) { f.start[0] = 0x76; }, "starts with 0x75 or 0x35"},
      {[](RecordFields& f) { f.address.clear(); }, "no bytes"},
      {[](RecordFields& f) { f.address_position = 6; }, "position 7"},  // the length code
      {[](RecordFields& f) { f.address = {1, 2, 3, 4, 5}; }, "position 7"},
      {[](RecordFields& f) { f.address_position = 12; }, "position 13"},  // "TX"
      {[](RecordFields& f) { f.starts_message = false, f.address_position = 15; }, "position 15"},
      {[](RecordFields& f) { f.address_position = 17, f.downloaded = true; }, "position 18"},
      {[](RecordFields& f) { f.starts_message = false, f.downloaded = true; }, "downloaded"},
      {[](RecordFields& f) { f.starts_message = false, f.text = "TX 4KTR219"; }, "\"TX\""},
      {[](RecordFields& f) { f.message_header[3] = 0x40; }, "0x40"},
      {[](RecordFields& f) { f.text = "AB\x75\xC0" "CD"; }, "0x75 0xC0 at position 22"},
      {[](RecordFields& f) { f.address = {0x12, 0x75}, f.sequence = 0xC0; }, "at position 4"},
      {[](RecordFields& f) { f.text = "AB\xAA\xAA", f.trailer.kind = TrailerKind::kMarked; },
       "0xAA 0xAA"},
      {[](RecordFields& f) { f.text = std::string("AB\0", 3), f.trailer.kind = TrailerKind::kUnmarked; },
       "zero"},
      {[](RecordFields& f) { f.trailer.kind = TrailerKind::kMarked, f.trailer.search_code = 8; },
       "counted"},
      {[](RecordFields& f) { f.trailer.length = 8; }, "2 to 7"},
      {[](RecordFields& f) { f.filler = 13; }, "filler"},
      {[](RecordFields& f) { f.text = std::string(kMaxComposedBytes, 'A'); }, "covers 774"},
  };
  // clang-format on
  for (const Refusal& refusal : refusals) {
    RecordFields fields;
    fields.text = "HELLO";
    refusal.change(fields);
    const Record record = ComposeRecord(fields);
    EXPECT_TRUE(record.bytes.empty());
    EXPECT_NE(record.error.find(refusal.reason), std::string::npos)
        << "expected \"" << refusal.reason << "\" in \"" << record.error << '"';
  }
}

// Random texts, addresses and trailers: every record is either refused or sound, and the
// composer refuses only what its input forces.
TEST(ComposeRecordTest, RandomFieldsComposeSoundly) {
  std::mt19937_64 engine(4800);
  const std::string alphabet = "ABCu 0123456789\r-/#" + kEsc + "[;Hmb";
  for (int i = 0; i < 3000; ++i) {
    RecordFields fields;
    fields.address = {static_cast<uint8_t>(engine()), static_cast<uint8_t>(engine())};
    // An address that makes the pair itself is refused, as tested above.
    for (uint8_t& byte : fields.address) byte = byte == 0x75 ? 0x76 : byte;
    fields.sequence = static_cast<uint8_t>(engine());
    fields.flags = static_cast<uint8_t>(engine() % 0x40);
    fields.starts_message = engine() % 3 != 0;
    fields.downloaded = fields.starts_message && engine() % 4 == 0;
    const size_t length = engine() % 200;
    for (size_t k = 0; k < length; ++k) fields.text += alphabet[engine() % alphabet.size()];
    if (!fields.starts_message && fields.text.starts_with("TX")) fields.text[0] = 'Z';
    fields.trailer.kind = static_cast<TrailerKind>(engine() % 3);
    if (fields.trailer.kind == TrailerKind::kCounted) fields.trailer.length = engine() % 7;
    if (fields.trailer.length == 1) fields.trailer.length = 0;
    if (fields.trailer.kind == TrailerKind::kCounted && engine() % 4 == 0) {
      fields.trailer.length = 0;
      fields.filler = 1 + engine() % 12;
    }
    const bool zero_end =
        fields.trailer.kind != TrailerKind::kCounted && fields.text.empty() &&
        (fields.starts_message ? fields.message_header[4] : fields.source[3]) == 0;
    const Record record = ComposeRecord(fields);
    if (zero_end) {
      EXPECT_NE(record.error, "");
      continue;
    }
    SCOPED_TRACE(i);
    ExpectSound(record);
    EXPECT_EQ(ReadRecordText(record.bytes), fields.text);
  }
}

// Every ESC "[" in `text` starts a sequence that ends within it, and no repeat comes first.
void ExpectWholeSequences(const std::string& text) {
  for (size_t at = text.find(kEsc); at != std::string::npos; at = text.find(kEsc, at + 1)) {
    size_t end = at + 2;
    while (end < text.size() && !std::isalpha(static_cast<unsigned char>(text[end]))) ++end;
    EXPECT_LT(end, text.size()) << "a sequence is cut at the end of \"" << text << '"';
    if (at == 0 && end < text.size()) {
      EXPECT_NE(text[end], 'b') << "a repeat is separated from its character";
    }
  }
}

TEST(ComposeMessageTest, SplitsIntoTxAndContinuations) {
  std::string text =
      kEsc + "[1;1H" + kEsc + "[7m DISPATCH #24-031877 " + kEsc + "[0m\r=" + kEsc + "[39b\r";
  for (int i = 0; i < 12; ++i) text += "LINE " + std::to_string(i) + " OF THE NARRATIVE TEXT\r";
  text += "-" + kEsc + "[39b" + kEsc + "[24;1H" + kEsc + "[7m F1 ENRT " + kEsc + "[0m";
  RecordFields head;
  head.address = {0x21, 0x44};
  head.sequence = 0xBE;
  head.downloaded = true;
  for (size_t per_record : {16, 23, 40, 96, 160, 400}) {
    SCOPED_TRACE(per_record);
    const ComposedMessage message = ComposeMessage(head, text, per_record);
    ASSERT_EQ(message.error, "");
    ASSERT_EQ(message.records.size() > 1, text.size() > per_record);
    std::string joined;
    uint8_t sequence = head.sequence;
    for (size_t i = 0; i < message.records.size(); ++i) {
      const Bytes& record = message.records[i];
      EXPECT_EQ(TextOf(record, 13, 15) == "TX", i == 0);
      EXPECT_EQ(At(record, 3), 0x21);
      EXPECT_EQ(At(record, 5), sequence);
      if (i == 0) {
        EXPECT_EQ(At(record, 18), 0x40);
      }
      EXPECT_NE(sequence, 0xC0);
      sequence = NextSequence(sequence);
      const std::string piece = ReadRecordText(record);
      EXPECT_LE(piece.size(), per_record);
      if (i > 0) {
        EXPECT_GE(piece.size(), kMinContinuationText);
      }
      ExpectWholeSequences(piece);
      joined += piece;
    }
    EXPECT_EQ(joined, text);
    EXPECT_EQ(message.next_sequence, sequence);
  }
}

TEST(ComposeMessageTest, CutsAvoidTxAndPreferLineEnds) {
  RecordFields head;
  // A plain cut after 20 bytes would make the next record start with "TX".
  const std::string tx_text = std::string(20, 'A') + "TX" + std::string(20, 'B');
  ComposedMessage message = ComposeMessage(head, tx_text, 20);
  ASSERT_EQ(message.error, "");
  for (size_t i = 1; i < message.records.size(); ++i) {
    EXPECT_NE(TextOf(message.records[i], 13, 15), "TX");
  }

  const std::string lines = "FIRST LINE\rSECOND LINE THAT RUNS ON AND ON";
  message = ComposeMessage(head, lines, 30);
  ASSERT_EQ(message.error, "");
  ASSERT_EQ(message.records.size(), 2u);
  // The line end comes too early to be worth a short record.
  EXPECT_EQ(ReadRecordText(message.records[0]), "FIRST LINE\rSECOND LINE THAT RU");
  message = ComposeMessage(head, "FIRST LINE OF TEXT\rSECOND ONE IS LONGER", 30);
  EXPECT_EQ(ReadRecordText(message.records[0]), "FIRST LINE OF TEXT\r");

  // A short last piece borrows from the one before it.
  message = ComposeMessage(head, std::string(34, 'C'), 32);
  ASSERT_EQ(message.records.size(), 2u);
  EXPECT_EQ(ReadRecordText(message.records[1]).size(), kMinContinuationText);
}

TEST(ComposeMessageTest, RefusesSizesAndUnsplittableText) {
  RecordFields head;
  EXPECT_NE(ComposeMessage(head, "TEXT", kMinTextPerRecord - 1).error, "");
  EXPECT_NE(ComposeMessage(head, "TEXT", kMaxTextPerRecord + 1).error, "");
  // The repeat holds on to its character across the attribute sequences in between.
  const std::string glued = "A" + kEsc + "[7m" + kEsc + "[1m" + kEsc + "[0m" + kEsc + "[5b";
  EXPECT_NE(ComposeMessage(head, std::string(10, 'X') + glued + "XYZ", 16).error, "");
  EXPECT_EQ(ComposeMessage(head, std::string(10, 'X') + glued + "XYZ", 18).error, "");
  // An empty message is one "TX" record without text.
  const ComposedMessage empty = ComposeMessage(head, "", 16);
  ASSERT_EQ(empty.records.size(), 1u);
  EXPECT_EQ(empty.records[0].size(), 24u);
  // After an address byte 0x75 the sequence number skips 0xC0.
  head.address = {0x12, 0x75};
  head.sequence = 0xBF;
  const ComposedMessage skipping = ComposeMessage(head, std::string(40, 'D'), 16);
  ASSERT_EQ(skipping.error, "");
  EXPECT_EQ(At(skipping.records[1], 5), 0xC1);
  // A record's error names the record.
  EXPECT_EQ(ComposeMessage(head,
                           std::string(20, 'D') + "\x75\xC0"
                                                  "DDDDDDDDDD",
                           16)
                .error.substr(0, 9),
            "record 2:");
}

TEST(DemoTrafficTest, DeterministicRealisticTraffic) {
  const Schedule demo = DemoTraffic(180.0, 4800);
  const Schedule again = DemoTraffic(180.0, 4800);
  ASSERT_EQ(demo.transmissions.size(), again.transmissions.size());
  for (size_t i = 0; i < demo.transmissions.size(); ++i) {
    EXPECT_EQ(demo.transmissions[i].frame, again.transmissions[i].frame);
    EXPECT_EQ(demo.transmissions[i].gap_before, again.transmissions[i].gap_before);
  }
  EXPECT_NE(DemoTraffic(180.0, 4801).transmissions[3].frame, demo.transmissions[3].frame);
  EXPECT_NEAR(ComposeTimeline(demo.transmissions, demo.trailing_gap).Seconds(), 180.0, 0.01);

  std::set<int> terminals;
  std::map<int, bool> open_message;
  int continuations = 0;
  int close = 0;
  int downloaded = 0;
  int alternate = 0;
  int repeats = 0;
  std::set<std::string> trailers;
  for (size_t i = 0; i < demo.transmissions.size(); ++i) {
    SCOPED_TRACE(i);
    const Bytes& frame = demo.transmissions[i].frame;
    ASSERT_GE(frame.size(), 18u);
    EXPECT_LE(frame.size(), kReceiverFrameBytes);
    EXPECT_NE(frame.back(), 0);
    EXPECT_FALSE(HasSplitPairAfterStart(frame));
    EXPECT_TRUE(FalseSyncs(EncodeFrame(frame)).empty());
    EXPECT_GE(ReadRecordText(frame).size(), 3u);
    const int address = At(frame, 3) << 8 | At(frame, 4);
    terminals.insert(address);
    const bool tx = TextOf(frame, 13, 15) == "TX";
    if (!tx) {
      EXPECT_TRUE(open_message[address]) << "a continuation with no message to continue";
      ++continuations;
    }
    open_message[address] = true;
    downloaded += tx && At(frame, 18) == 0x40;
    alternate += frame[0] == 0x35;
    const uint8_t code = At(frame, 8);
    const bool counted = code <= 20 && code % 4 == 0;
    const bool marked = std::search_n(frame.end() - 6, frame.end(), 2, 0xAA) != frame.end();
    trailers.insert(counted ? "counted" : marked ? "marked" : "unmarked");
    if (frame.size() > (At(frame, 7) - 126) * 6u) trailers.insert("filler");
    const double gap = demo.transmissions[i].gap_before;
    if (gap < 1.0) {
      // Only a continuation or a status slipped in between follows that closely, never a
      // record starting with 0x35, which would not be split off.
      ++close;
      EXPECT_EQ(frame[0], 0x75);
      EXPECT_GE(gap, 0.05);
    } else {
      EXPECT_LE(gap, 6.0);
    }
    if (i > 0 && frame == demo.transmissions[i - 1].frame) ++repeats;
  }
  EXPECT_GE(terminals.size(), 6u);
  EXPECT_GE(continuations, 5);
  EXPECT_GE(close, 2);
  EXPECT_GE(downloaded, 1);
  EXPECT_GE(alternate, 1);
  EXPECT_GE(repeats, 1);
  EXPECT_EQ(trailers, (std::set<std::string>{"counted", "marked", "unmarked", "filler"}));
}

// Splits a decoder output as the monitor does: wherever 0x75 0xC0 follows the first byte.
std::vector<Bytes> SplitRecords(const Bytes& output) {
  std::vector<Bytes> records;
  size_t start = 0;
  for (size_t i = 1; i + 1 < output.size(); ++i) {
    if (output[i] == 0x75 && output[i + 1] == 0xC0) {
      records.emplace_back(output.begin() + start, output.begin() + i);
      start = i;
    }
  }
  records.emplace_back(output.begin() + start, output.end());
  return records;
}

struct DecodedRecords {
  std::vector<Bytes> records;
  size_t joined_outputs = 0;  // outputs that held more than one record
};

DecodedRecords DecodeRecords(const Timeline& timeline, const SignalOptions& options) {
  constexpr int kRate = 44100;
  constexpr int kBlock = 8192;  // the program's sound buffer
  std::vector<uint8_t> pcm = RenderPcm(timeline, options, kRate);
  sieve::Decoder decoder([](std::string_view) -> sieve::SlicerDevice* { return nullptr; });
  std::vector<uint8_t> output(kBlock + 2 * sieve::FrameDecoder::kMaxFrameOutput);
  DecodedRecords decoded;
  for (size_t at = 0; at + kBlock <= pcm.size(); at += kBlock) {
    int32_t corrections = 0;
    int32_t quality = 0;
    const int32_t count =
        decoder.AudioToBytes(reinterpret_cast<int8_t*>(pcm.data() + at), kBlock, output.data(),
                             kRate, 4800, '1', '0', &corrections, &quality, 0);
    if (count <= 0) continue;
    std::vector<Bytes> records = SplitRecords(Bytes(output.begin(), output.begin() + count));
    decoded.joined_outputs += records.size() > 1;
    for (Bytes& record : records) decoded.records.push_back(std::move(record));
  }
  return decoded;
}

// The bundled sample recording's settings: every record comes back as sent.
TEST(DemoRoundTripTest, SampleRecordingDecodesEveryRecord) {
  const Schedule demo = DemoTraffic(180.0, 4800);
  SignalOptions options;
  options.snr_db = 18.0;
  options.seed = 4800;
  const std::vector<Bytes> records =
      DecodeRecords(ComposeTimeline(demo.transmissions, demo.trailing_gap), options).records;
  ASSERT_EQ(records.size(), demo.transmissions.size());
  for (size_t i = 0; i < records.size(); ++i) {
    EXPECT_EQ(records[i], demo.transmissions[i].frame) << "record " << i + 1;
  }
}

// Records sent back to back may leave the decoder in one output; the start pair separates them.
TEST(DemoRoundTripTest, BackToBackRecordsSplitApart) {
  RecordFields head;
  head.address = {0x30, 0x90};
  const ComposedMessage message = ComposeMessage(head, std::string(40, 'E') + "u", 16);
  ASSERT_EQ(message.error, "");
  Bytes joined;
  for (const Bytes& record : message.records)
    joined.insert(joined.end(), record.begin(), record.end());
  EXPECT_EQ(SplitRecords(joined), message.records);

  // Where the frames fall against the decoder's calls decides which of them end in one output;
  // moving the start through one call finds such a case.
  size_t joined_outputs = 0;
  for (double lead = 0.5; lead < 0.7; lead += 0.01) {
    std::vector<Transmission> transmissions;
    for (const Bytes& record : message.records) {
      transmissions.push_back({record, transmissions.empty() ? lead : 0.0});
    }
    const DecodedRecords decoded = DecodeRecords(ComposeTimeline(transmissions, 0.5), {});
    EXPECT_EQ(decoded.records, message.records) << "lead-in " << lead;
    joined_outputs += decoded.joined_outputs;
  }
  EXPECT_GT(joined_outputs, 0u);
}

}  // namespace
}  // namespace mdcgen
