#include <gtest/gtest.h>
#include <stdlib.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "mdcgen/file_formats.h"
#include "mdcgen/signal.h"
#include "support/run_program.h"
#include "support/scratch_directory.h"

namespace {

using kestrel_test::ReadText;
using kestrel_test::RunResult;
using mdcgen::Bytes;

void WriteBytes(const std::string& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

void WriteBytes(const std::string& path, const Bytes& bytes) {
  WriteBytes(path, std::string(bytes.begin(), bytes.end()));
}

// A WAV file of any format tag, channel count and sample width.
std::string Wav(int format_tag, int channels, int rate, int bits, const std::string& data) {
  std::string out;
  auto put = [&](uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) out += char((value >> (8 * i)) & 0xFF);
  };
  const int frame_bytes = channels * bits / 8;
  out += "RIFF";
  put(uint32_t(36 + data.size()), 4);
  out += "WAVEfmt ";
  put(16, 4);
  put(uint32_t(format_tag), 2);
  put(uint32_t(channels), 2);
  put(uint32_t(rate), 4);
  put(uint32_t(rate * frame_bytes), 4);
  put(uint32_t(frame_bytes), 2);
  put(uint32_t(bits), 2);
  out += "data";
  put(uint32_t(data.size()), 4);
  return out + data;
}

std::string ToHex(const Bytes& bytes, bool upper) {
  static constexpr char kUpper[] = "0123456789ABCDEF";
  static constexpr char kLower[] = "0123456789abcdef";
  const char* digits = upper ? kUpper : kLower;
  std::string text;
  for (uint8_t byte : bytes) text += {digits[byte >> 4], digits[byte & 0xF]};
  return text;
}

// Splits at single spaces, keeping empty fields so that doubled spaces show.
std::vector<std::string> Fields(const std::string& line) {
  std::vector<std::string> fields(1);
  for (char c : line) {
    if (c == ' ') {
      fields.emplace_back();
    } else {
      fields.back() += c;
    }
  }
  return fields;
}

bool IsDecimal(const std::string& text) {
  return !text.empty() && text.find_first_not_of("0123456789") == std::string::npos;
}

class SieveDecodeTest : public testing::Test {
 protected:
  void SetUp() override {
    // Whole 18-byte groups ending in a non-zero byte, so the output is exactly the frames.
    uint32_t seed = 12345;
    for (size_t length : {18, 36, 54, 18, 36}) {
      Bytes frame;
      while (frame.size() < length)
        frame.push_back(uint8_t((seed = seed * 1103515245 + 12345) >> 16));
      frame[length - 1] |= 1;
      frames_.push_back(frame);
      all_bytes_.insert(all_bytes_.end(), frame.begin(), frame.end());
    }
    std::vector<mdcgen::Transmission> transmissions;
    // The first calls may go on finding a threshold; the first frame comes after them.
    for (const Bytes& frame : frames_)
      transmissions.push_back({frame, transmissions.empty() ? 0.5 : 0.05});
    timeline_ = mdcgen::ComposeTimeline(transmissions, 0.1);
  }

  std::string Path(const std::string& name) const { return dir_ + name; }

  std::string WriteWav(const std::string& name, int rate, bool invert = false) {
    mdcgen::SignalOptions options;
    options.invert = invert;
    WriteBytes(Path(name), mdcgen::WavFile(mdcgen::RenderPcm(timeline_, options, rate), rate));
    return Path(name);
  }

  std::string WriteSlicer(const std::string& name, bool invert = false) {
    mdcgen::SignalOptions options;
    options.invert = invert;
    const std::vector<mdcgen::SlicerEntry> entries = mdcgen::RenderSlicer(timeline_, options);
    slicer_entries_ = entries.size();
    WriteBytes(Path(name), mdcgen::SlicerText(entries));
    return Path(name);
  }

  RunResult Run(std::vector<std::string> args) const {
    return kestrel_test::RunProgram(SIEVE_DECODE_PATH, std::move(args),
                                    dir_.substr(0, dir_.size() - 1));
  }

  // The records of a default run, joined.
  static std::string Joined(const RunResult& result) {
    std::string joined;
    for (const std::string& line : result.lines) joined += line;
    return joined;
  }

  void ExpectBadFile(const std::vector<std::string>& args, const std::string& reason) {
    const RunResult result = Run(args);
    EXPECT_EQ(result.status, 1) << args.back();
    EXPECT_EQ(result.out, "");
    EXPECT_NE(result.err.find(reason), std::string::npos) << result.err;
    EXPECT_EQ(std::count(result.err.begin(), result.err.end(), '\n'), 1) << result.err;
  }

  kestrel_test::ScratchDirectory scratch_{"sieve_decode_test"};
  const std::string dir_ = scratch_.path().string() + "/";
  std::vector<Bytes> frames_;
  Bytes all_bytes_;
  mdcgen::Timeline timeline_;
  size_t slicer_entries_ = 0;
};

TEST_F(SieveDecodeTest, DecodesAudioAtBothRates) {
  for (int rate : {44100, 22050}) {
    const RunResult result = Run({WriteWav("a.wav", rate)});
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(Joined(result), ToHex(all_bytes_, true)) << rate;
  }

  // 16-bit stereo: each channel's low byte and their difference must not matter.
  const std::vector<uint8_t> pcm = mdcgen::RenderPcm(timeline_, {}, 44100);
  std::string data;
  for (uint8_t sample : pcm) {
    const int value = (sample - 128) * 256;
    for (int channel : {value + 0x70, value + 0x10})
      data += {char(channel & 0xFF), char(channel >> 8)};
  }
  WriteBytes(Path("stereo.wav"), Wav(1, 2, 44100, 16, data));
  EXPECT_EQ(Joined(Run({Path("stereo.wav")})), ToHex(all_bytes_, true));
}

TEST_F(SieveDecodeTest, TraceShowsEveryCall) {
  const std::string wav = WriteWav("a.wav", 22050);
  const RunResult result = Run({"--trace", wav});
  ASSERT_EQ(result.status, 0) << result.err;
  const size_t samples = mdcgen::RenderPcm(timeline_, {}, 22050).size();
  ASSERT_EQ(result.lines.size(), (samples + 8191) / 8192);
  std::string hex;
  for (size_t i = 0; i < result.lines.size(); ++i) {
    const std::vector<std::string> fields = Fields(result.lines[i]);
    ASSERT_TRUE(fields.size() == 4 || fields.size() == 5) << result.lines[i];
    EXPECT_EQ(fields[0], std::to_string(i + 1));
    EXPECT_TRUE(IsDecimal(fields[2]) || fields[2] == "-") << result.lines[i];
    ASSERT_TRUE(IsDecimal(fields[1]) && IsDecimal(fields[3])) << result.lines[i];
    EXPECT_LE(std::stoi(fields[3]), 100);
    EXPECT_EQ(fields.size() == 5, fields[1] != "0") << result.lines[i];  // no trailing space
    const std::string bytes = fields.size() == 5 ? fields[4] : "";
    EXPECT_EQ(std::stoul(fields[1]) * 2, bytes.size()) << result.lines[i];
    EXPECT_EQ(bytes.find_first_not_of("0123456789abcdef"), std::string::npos) << result.lines[i];
    hex += bytes;
  }
  EXPECT_EQ(hex, ToHex(all_bytes_, false));

  // RM100 samples are two-valued, so the first mask finds no threshold: nothing written.
  const mdcgen::SignalOptions options;
  WriteBytes(Path("rm100"), mdcgen::RenderRm100(timeline_, options));
  const RunResult rm100 = Run({"--rm100", Path("rm100"), "--trace"});
  ASSERT_FALSE(rm100.lines.empty());
  EXPECT_EQ(rm100.lines[0], "1 0 - 0");
}

TEST_F(SieveDecodeTest, RM100AndSlicerInputs) {
  mdcgen::SignalOptions options;
  WriteBytes(Path("rm100"), mdcgen::RenderRm100(timeline_, options));
  RunResult result = Run({"--rm100", Path("rm100")});
  EXPECT_EQ(result.status, 0) << result.err;
  EXPECT_EQ(Joined(result), ToHex(all_bytes_, true));

  result = Run({"--slicer", WriteSlicer("edges.txt")});
  EXPECT_EQ(result.status, 0) << result.err;
  EXPECT_EQ(Joined(result), ToHex(all_bytes_, true));

  // 600 entries go into the 1024-entry ring before each call; the pending count shows them, as
  // the write index less the read index.
  ASSERT_GT(slicer_entries_, 1200u);
  result = Run({"--trace", "--slicer", Path("edges.txt")});
  const int calls = int(slicer_entries_ + 599) / 600;
  ASSERT_EQ(result.lines.size(), size_t(calls));
  for (int i = 0; i < calls; ++i) {
    const int stored = std::min(600 * (i + 1), int(slicer_entries_));
    const int pending = stored % 1024 - 600 * i % 1024;
    std::istringstream fields(result.lines[i]);
    std::string call, count, corrections, quality;
    fields >> call >> count >> corrections >> quality;
    EXPECT_EQ(call, std::to_string(i + 1));
    EXPECT_EQ(quality, std::to_string(pending)) << result.lines[i];
  }
}

TEST_F(SieveDecodeTest, ReverseSwapsTheSymbols) {
  const std::string wav = WriteWav("inverted.wav", 44100, true);
  EXPECT_EQ(Joined(Run({"--reverse", wav})), ToHex(all_bytes_, true));
  EXPECT_NE(Joined(Run({wav})), ToHex(all_bytes_, true));

  const std::string edges = WriteSlicer("inverted.txt", true);
  EXPECT_EQ(Joined(Run({"--slicer", edges, "--reverse"})), ToHex(all_bytes_, true));
  EXPECT_NE(Joined(Run({"--slicer", edges})), ToHex(all_bytes_, true));
}

TEST_F(SieveDecodeTest, BadFilesAreRefused) {
  ExpectBadFile({Path("missing.wav")}, "missing.wav: No such file");
  ExpectBadFile({"--rm100", Path("missing")}, "missing: No such file");
  ExpectBadFile({"--slicer", Path("missing")}, "missing: No such file");
  for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
           {dir_}, {"--rm100", dir_}, {"--slicer", dir_}, {"--robust", dir_}}) {
    ExpectBadFile(args, dir_ + ": is a directory");
  }

  WriteBytes(Path("text.wav"), std::string("not a sound file\n"));
  ExpectBadFile({Path("text.wav")}, "text.wav: not a readable WAV file");
  const std::string silence(4000, '\0');
  WriteBytes(Path("48k.wav"), Wav(1, 1, 48000, 16, silence));
  ExpectBadFile({Path("48k.wav")}, "sampling rate 48000 Hz not supported (44100 or 22050 Hz)");
  WriteBytes(Path("float.wav"), Wav(3, 1, 44100, 32, silence));
  ExpectBadFile({Path("float.wav")}, "float.wav: floating-point samples are not supported");
  WriteBytes(Path("double.wav"), Wav(3, 1, 44100, 64, silence));
  ExpectBadFile({Path("double.wav")}, "double.wav: floating-point samples are not supported");

  const std::pair<std::string, std::string> bad_lines[] = {
      {"249 16\n249 x\n", ":2: expected \"duration status\""},
      {"249 16\n\n249 16 7\n", ":3: expected"},
      {"-1 16\n", ":1: expected"},
      {"65536 1\n", ":1: duration out of range"},
      {"249 256\n", ":1: status out of range"},
      {std::string(5000, '1'), ":1: line too long"},
  };
  for (const auto& [text, reason] : bad_lines) {
    WriteBytes(Path("bad.txt"), text);
    ExpectBadFile({"--slicer", Path("bad.txt")}, "bad.txt" + reason);
  }
}

TEST_F(SieveDecodeTest, ARunThatDecodesNothingFails) {
  // A reversed recording without --reverse: the hint points at the polarity.
  const std::string inverted = WriteWav("inverted.wav", 44100, true);
  RunResult result = Run({inverted});
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(result.err, "sieve-decode: " + inverted +
                            ": no frames decoded (reversed polarity? try --reverse; a weak or "
                            "squelched signal? try --robust)\n");
  // --trace still shows every call before saying so.
  result = Run({"--trace", "--robust", WriteWav("plain.wav", 44100), "--reverse"});
  EXPECT_EQ(result.status, 1);
  EXPECT_FALSE(result.lines.empty());
  EXPECT_NE(result.err.find("(normal polarity? try without --reverse)"), std::string::npos)
      << result.err;

  // Widths other than whole bytes are named; 24 bits is a whole width and gets the usual hint.
  const std::string silence(4000, '\0');
  for (const int bits : {4, 12, 20}) {
    WriteBytes(Path("odd.wav"), Wav(1, 1, 44100, bits, silence));
    result = Run({Path("odd.wav")});
    EXPECT_EQ(result.status, 1) << bits;
    EXPECT_NE(result.err.find("odd.wav: no frames decoded; its header gives " +
                              std::to_string(bits) + "-bit samples"),
              std::string::npos)
        << result.err;
  }
  WriteBytes(Path("24.wav"), Wav(1, 1, 44100, 24, std::string(6000, '\0')));
  result = Run({Path("24.wav")});
  EXPECT_EQ(result.status, 1);
  EXPECT_NE(result.err.find("24.wav: no frames decoded (reversed polarity?"), std::string::npos)
      << result.err;
}

TEST_F(SieveDecodeTest, RobustDecoderKeepsFramesTheExactOneLosesInSquelch) {
  // A squelched receiver: silent between transmissions, noisy while they last.
  mdcgen::SignalOptions options;
  options.squelch = true;
  options.snr_db = 15;
  options.seed = 7;
  // Half a second of silence before each frame, as a channel between transmissions has.
  std::vector<mdcgen::Transmission> transmissions;
  for (const Bytes& frame : frames_) transmissions.push_back({frame, 0.5});
  const mdcgen::Timeline timeline = mdcgen::ComposeTimeline(transmissions, 0.5);
  WriteBytes(Path("squelch.wav"),
             mdcgen::WavFile(mdcgen::RenderPcm(timeline, options, 44100), 44100));
  const RunResult robust = Run({"--robust", Path("squelch.wav")});
  ASSERT_EQ(robust.status, 0) << robust.err;
  EXPECT_EQ(Joined(robust), ToHex(all_bytes_, true));
  const RunResult exact = Run({Path("squelch.wav")});
  EXPECT_NE(Joined(exact), ToHex(all_bytes_, true));
  // Options may follow the file.
  EXPECT_EQ(Joined(Run({Path("squelch.wav"), "--robust"})), ToHex(all_bytes_, true));
}

TEST_F(SieveDecodeTest, HelpExplainsEveryOptionAndTheOutput) {
  const RunResult result = Run({"--help"});
  ASSERT_EQ(result.status, 0);
  EXPECT_EQ(result.err, "");
  for (const char* needle :
       {"usage: sieve-decode", "--trace", "--reverse", "--robust", "--rm100", "--slicer", "--help",
        "Output", "CALL COUNT CORRECTIONS QUALITY [BYTES]", "18-byte groups", "\"duration status\"",
        "838 ns", "Exit status", "exact decoder", "bit for bit"}) {
    EXPECT_NE(result.out.find(needle), std::string::npos) << needle;
  }
  EXPECT_EQ(Run({"-h"}).out, result.out);
}

TEST_F(SieveDecodeTest, BadUsage) {
  for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
           {}, {"--rm100"}, {"--bogus", "x.wav"}, {"a.wav", "--slicer", "b.txt"}}) {
    const RunResult result = Run(args);
    EXPECT_EQ(result.status, 2);
    EXPECT_NE(result.err.find("usage: sieve-decode"), std::string::npos) << result.err;
  }
}

}  // namespace
