#include "mdcgen/cli.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <map>
#include <optional>
#include <stdexcept>
#include <string_view>
#include <vector>

#include "mdcgen/demo_traffic.h"
#include "mdcgen/file_formats.h"
#include "mdcgen/frame_encoder.h"
#include "mdcgen/random_frames.h"
#include "mdcgen/record_composer.h"
#include "mdcgen/signal.h"

namespace mdcgen {
namespace {

constexpr int kExitIo = 1;
constexpr int kExitUsage = 2;
constexpr size_t kMaxInputBytes = 16 * 1024 * 1024;
constexpr double kDefaultGap = 0.5;  // also covers the first RM100 call, which finds no threshold
constexpr size_t kMessageTextPerRecord = 120;

constexpr char kUsage[] =
    R"(Usage: mdcgen [OPTIONS] -o FILE (FRAMES | --random N | --demo SECONDS | --messages FILE)

Makes an MDC-4800 test signal from frames of bytes.

Input (exactly one):
  FRAMES               text file, one frame per line in hexadecimal (up to 1008 bytes;
                       spaces may separate bytes; blank lines are skipped; # starts a
                       comment line); - reads stdin
  --random N           N random frames of 6 to 300 bytes (last byte never zero)
  --demo SECONDS       about SECONDS of dispatch traffic for a handful of terminals: screens,
                       status changes, queries and replies, messages between units
  --messages FILE      one message per line as decoded records: the terminal address in
                       hexadecimal (e.g. 1207, bytes 3-4 of each record; a shorter one gets
                       leading zeros, so 12 is 0012), white space, the text; \e, \r, \f, \\
                       and \xHH stand for ESC, carriage return, form feed, backslash and any
                       byte; texts over 120 bytes continue in further records; # starts a
                       comment line; - reads stdin

Output:
  -o, --output FILE    the file to write; - writes stdout (then give --format)
  --format FORMAT      wav, rm100 or slicer; by default from the extension of FILE
                       (.wav, .rm100, .txt)
  --frames-out FILE    also write the frames sent, one hexadecimal line each; - writes
                       stdout (not with -o -)

Signal:
  --rate RATE          WAV sampling rate, 44100 (default) or 22050
  --amplitude A        level distance from the rest level 128, in PCM steps (default 40;
                       below 64)
  --snr DB             add Gaussian noise, DB decibels below the amplitude (default none)
  --offset N           WAV DC offset in PCM steps, -64..64 (default 0)
  --drift PPM          bit clock error in parts per million (default 0)
  --invert             swap the two levels
  --squelch            a squelched receiver: the rest level between transmissions carries
                       no noise; --snr applies while frames are sent
  --squelch-floor DB   with --squelch, noise DB decibels below the amplitude between
                       transmissions, 20..120 (default none)
  --speaker            speaker audio: the levels and the noise pass an AC-coupled band-pass
                       channel (second-order high-pass and low-pass); --offset is added after
                       it, as a sound card's own
  --highpass HZ        with --speaker, the channel's lower corner, 20..1000 (default 300)
  --lowpass HZ         with --speaker, the channel's upper corner, 1000..10000 (default
                       3000; above the lower corner)
  --gap SECONDS        rest before every frame and after the last (default 0.5;
                       not with --demo)
  --seed N             seed for the random frames, the demo traffic and the noise (default 1)
  -h, --help           show this text

Without --invert a one bit is the lower WAV level, a set RM100 bit and a low slicer line.
)";

enum class Format { kWav, kRm100, kSlicer };

struct Arguments {
  std::optional<std::string> frames_path;
  std::optional<size_t> random_count;
  std::optional<double> demo_seconds;
  std::optional<std::string> messages_path;
  std::string output_path;
  std::optional<Format> format;
  std::optional<std::string> frames_out_path;
  std::optional<int> rate;
  std::optional<double> gap;
  std::optional<double> highpass_hz;
  std::optional<double> lowpass_hz;
  SignalOptions signal;
  bool help = false;
};

struct UsageError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

template <class Number>
Number ParseNumber(std::string_view option, std::string_view text) {
  Number value{};
  const char* end = text.data() + text.size();
  const auto [stop, error] = std::from_chars(text.data(), end, value);
  if (text.empty() || error != std::errc() || stop != end) {
    const char* kind = std::is_unsigned_v<Number> ? " needs a non-negative number, not '"
                                                  : " needs a number, not '";
    throw UsageError(std::string(option) + kind + std::string(text) + "'");
  }
  if constexpr (std::is_floating_point_v<Number>) {
    if (!std::isfinite(value)) {
      throw UsageError(std::string(option) + " needs a finite number");
    }
  }
  return value;
}

std::optional<Format> FormatNamed(std::string_view name) {
  if (name == "wav") return Format::kWav;
  if (name == "rm100") return Format::kRm100;
  if (name == "slicer") return Format::kSlicer;
  return std::nullopt;
}

std::optional<Format> FormatOfPath(std::string_view path) {
  const size_t dot = path.rfind('.');
  const size_t slash = path.rfind('/');
  if (dot == std::string_view::npos || (slash != std::string_view::npos && dot < slash)) {
    return std::nullopt;
  }
  std::string extension(path.substr(dot + 1));
  std::transform(extension.begin(), extension.end(), extension.begin(),
                 [](unsigned char c) { return std::tolower(c); });
  if (extension == "wav") return Format::kWav;
  if (extension == "rm100") return Format::kRm100;
  if (extension == "txt") return Format::kSlicer;
  return std::nullopt;
}

Arguments ParseArguments(std::span<const std::string> args) {
  Arguments parsed;
  for (size_t i = 0; i < args.size(); ++i) {
    std::string_view arg = args[i];
    std::optional<std::string_view> attached;
    if (arg.starts_with("--")) {
      if (const size_t equals = arg.find('='); equals != std::string_view::npos) {
        attached = arg.substr(equals + 1);
        arg = arg.substr(0, equals);
      }
    }
    auto value = [&]() -> std::string_view {
      if (attached) return *attached;
      if (i + 1 == args.size()) throw UsageError(std::string(arg) + " needs a value");
      return args[++i];
    };
    auto flag = [&] {
      if (attached) throw UsageError(std::string(arg) + " takes no value");
    };

    if (arg == "-h" || arg == "--help") {
      flag();
      parsed.help = true;
    } else if (arg == "--invert") {
      flag();
      parsed.signal.invert = true;
    } else if (arg == "--squelch") {
      flag();
      parsed.signal.squelch = true;
    } else if (arg == "--squelch-floor") {
      parsed.signal.squelch_floor_db = ParseNumber<double>(arg, value());
    } else if (arg == "--speaker") {
      flag();
      parsed.signal.speaker = true;
    } else if (arg == "--highpass") {
      parsed.highpass_hz = ParseNumber<double>(arg, value());
    } else if (arg == "--lowpass") {
      parsed.lowpass_hz = ParseNumber<double>(arg, value());
    } else if (arg == "-o" || arg == "--output") {
      parsed.output_path = value();
      if (parsed.output_path.empty()) throw UsageError("the output file name is empty");
    } else if (arg == "--frames-out") {
      parsed.frames_out_path = value();
      if (parsed.frames_out_path->empty()) throw UsageError("the --frames-out file name is empty");
    } else if (arg == "--format") {
      const std::string_view name = value();
      parsed.format = FormatNamed(name);
      if (!parsed.format) {
        throw UsageError("unknown format '" + std::string(name) + "' (wav, rm100 or slicer)");
      }
    } else if (arg == "--random") {
      const auto count = ParseNumber<long long>(arg, value());
      if (count < 1 || count > static_cast<long long>(kMaxFrames)) {
        throw UsageError("--random needs 1 to " + std::to_string(kMaxFrames) + " frames");
      }
      parsed.random_count = static_cast<size_t>(count);
    } else if (arg == "--demo") {
      const auto seconds = ParseNumber<double>(arg, value());
      if (seconds < 1.0 || seconds > kMaxSeconds) {
        throw UsageError("--demo needs 1 to " + std::to_string(static_cast<int>(kMaxSeconds)) +
                         " seconds");
      }
      parsed.demo_seconds = seconds;
    } else if (arg == "--messages") {
      parsed.messages_path = value();
      if (parsed.messages_path->empty()) throw UsageError("the --messages file name is empty");
    } else if (arg == "--rate") {
      const auto rate = ParseNumber<int>(arg, value());
      if (rate != 44100 && rate != 22050) throw UsageError("--rate must be 44100 or 22050");
      parsed.rate = rate;
    } else if (arg == "--amplitude") {
      parsed.signal.amplitude = ParseNumber<double>(arg, value());
    } else if (arg == "--snr") {
      parsed.signal.snr_db = ParseNumber<double>(arg, value());
    } else if (arg == "--offset") {
      parsed.signal.offset = ParseNumber<double>(arg, value());
    } else if (arg == "--drift") {
      parsed.signal.drift_ppm = ParseNumber<double>(arg, value());
    } else if (arg == "--seed") {
      parsed.signal.seed = ParseNumber<uint64_t>(arg, value());
    } else if (arg == "--gap") {
      const auto gap = ParseNumber<double>(arg, value());
      if (gap < 0.0 || gap > kMaxSeconds) throw UsageError("--gap must be 0 to 3600 seconds");
      parsed.gap = gap;
    } else if (arg.size() > 1 && arg.starts_with('-')) {
      throw UsageError("unknown option '" + std::string(arg) + "'");
    } else {
      if (parsed.frames_path) throw UsageError("more than one frames file given");
      parsed.frames_path = std::string(arg);
    }
  }
  if (parsed.help) return parsed;

  const int sources = parsed.frames_path.has_value() + parsed.random_count.has_value() +
                      parsed.demo_seconds.has_value() + parsed.messages_path.has_value();
  if (sources != 1) {
    throw UsageError("give exactly one of a frames file, --random, --demo and --messages");
  }
  if (parsed.output_path.empty()) throw UsageError("no output file (-o FILE)");
  if (parsed.output_path == "-" && parsed.frames_out_path == "-") {
    throw UsageError("-o and --frames-out cannot both write stdout");
  }
  if (!parsed.format && parsed.output_path == "-") {
    throw UsageError("-o - writes stdout; give --format wav, rm100 or slicer");
  }
  if (!parsed.format) {
    parsed.format = FormatOfPath(parsed.output_path);
    if (!parsed.format) {
      throw UsageError("cannot tell the format from '" + parsed.output_path +
                       "'; use --format wav, rm100 or slicer");
    }
  }
  if (parsed.rate && *parsed.format != Format::kWav) {
    throw UsageError("--rate applies to WAV output only");
  }
  if (parsed.signal.offset != 0.0 && *parsed.format != Format::kWav) {
    throw UsageError(
        "--offset applies to WAV output only (the line receivers slice at the rest level)");
  }
  if (parsed.gap && parsed.demo_seconds) throw UsageError("--gap does not apply to --demo");
  if (parsed.signal.squelch_floor_db && !parsed.signal.squelch) {
    throw UsageError("--squelch-floor needs --squelch");
  }
  if ((parsed.highpass_hz || parsed.lowpass_hz) && !parsed.signal.speaker) {
    throw UsageError(std::string(parsed.highpass_hz ? "--highpass" : "--lowpass") +
                     " needs --speaker");
  }
  parsed.signal.highpass_hz = parsed.highpass_hz.value_or(parsed.signal.highpass_hz);
  parsed.signal.lowpass_hz = parsed.lowpass_hz.value_or(parsed.signal.lowpass_hz);
  if (const std::string problem = CheckSignalOptions(parsed.signal); !problem.empty()) {
    throw UsageError(problem);
  }
  return parsed;
}

std::string ErrnoText() { return std::strerror(errno); }

// Reads at most kMaxInputBytes; false with `error` set otherwise.
bool ReadInput(const std::string& path, std::string& text, std::string& error) {
  const bool is_stdin = path == "-";
  std::FILE* file = is_stdin ? stdin : std::fopen(path.c_str(), "rb");
  if (!file) {
    error = "cannot open " + path + ": " + ErrnoText();
    return false;
  }
  char buffer[65536];
  size_t got;
  bool ok = true;
  while ((got = std::fread(buffer, 1, sizeof buffer, file)) > 0) {
    if (text.size() + got > kMaxInputBytes) {
      error = path + " is larger than " + std::to_string(kMaxInputBytes / (1024 * 1024)) + " MiB";
      ok = false;
      break;
    }
    text.append(buffer, got);
  }
  if (ok && std::ferror(file)) {
    error = "cannot read " + path + ": " + ErrnoText();
    ok = false;
  }
  if (!is_stdin) std::fclose(file);
  return ok;
}

// A file that could not be written completely is removed; "-" is `out`.
bool WriteFile(const std::string& path, std::string_view data, std::ostream& out,
               std::string& error) {
  if (path == "-") {
    out.write(data.data(), static_cast<std::streamsize>(data.size()));
    out.flush();
    if (out) return true;
    error = "cannot write stdout";
    return false;
  }
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (!file) {
    error = "cannot create " + path + ": " + ErrnoText();
    return false;
  }
  std::string reason;
  if (std::fwrite(data.data(), 1, data.size(), file) != data.size()) reason = ErrnoText();
  if (std::fclose(file) != 0 && reason.empty()) reason = ErrnoText();
  if (reason.empty()) return true;
  std::remove(path.c_str());
  error = "cannot write " + path + ": " + reason;
  return false;
}

std::string_view AsText(const Bytes& bytes) {
  return {reinterpret_cast<const char*>(bytes.data()), bytes.size()};
}

// The records of every message in the file at `path`; 0, or the exit status after an error has
// been reported.
int ComposeMessages(const std::string& path, std::vector<Bytes>& frames, std::ostream& err) {
  std::string text;
  std::string error;
  if (!ReadInput(path, text, error)) {
    err << "mdcgen: " << error << '\n';
    return kExitIo;
  }
  const MessageList list = ParseMessages(text);
  if (!list.error.empty()) {
    err << "mdcgen: " << path << ": " << list.error << '\n';
    return kExitUsage;
  }
  if (list.messages.empty()) {
    err << "mdcgen: " << path << " holds no messages\n";
    return kExitUsage;
  }
  // Each terminal counts its own records, so repeated texts are not taken for repeats.
  std::map<std::string, uint8_t> sequences;
  for (const MessageLine& line : list.messages) {
    RecordFields head;
    head.address = line.address;
    const std::string key(line.address.begin(), line.address.end());
    uint8_t& sequence = sequences.try_emplace(key, 1).first->second;
    head.sequence = sequence;
    ComposedMessage message = ComposeMessage(head, line.text, kMessageTextPerRecord);
    if (!message.error.empty()) {
      err << "mdcgen: " << path << ": line " << line.line << ": " << message.error << '\n';
      return kExitUsage;
    }
    if (frames.size() + message.records.size() > kMaxFrames) {
      err << "mdcgen: " << path << " makes more than " << kMaxFrames << " frames\n";
      return kExitUsage;
    }
    sequence = message.next_sequence;
    for (Bytes& record : message.records) frames.push_back(std::move(record));
  }
  return 0;
}

// Reads the frames or draws them; 0, or the exit status after an error has been reported.
int MakeSchedule(const Arguments& arguments, Schedule& schedule, std::ostream& err) {
  if (arguments.demo_seconds) {
    schedule = DemoTraffic(*arguments.demo_seconds, arguments.signal.seed);
    return 0;
  }
  std::vector<Bytes> frames;
  if (arguments.random_count) {
    frames = RandomFrames(*arguments.random_count, arguments.signal.seed);
  } else if (arguments.messages_path) {
    if (const int status = ComposeMessages(*arguments.messages_path, frames, err); status != 0) {
      return status;
    }
  } else {
    const std::string& path = *arguments.frames_path;
    std::string text;
    std::string error;
    if (!ReadInput(path, text, error)) {
      err << "mdcgen: " << error << '\n';
      return kExitIo;
    }
    FrameList list = ParseFrames(text);
    if (!list.error.empty()) {
      err << "mdcgen: " << path << ": " << list.error << '\n';
      return kExitUsage;
    }
    if (list.frames.empty()) {
      err << "mdcgen: " << path << " holds no frames\n";
      return kExitUsage;
    }
    frames = std::move(list.frames);
  }
  const double gap = arguments.gap.value_or(kDefaultGap);
  for (Bytes& frame : frames) schedule.transmissions.push_back({std::move(frame), gap});
  schedule.trailing_gap = gap;
  return 0;
}

// Frames that are sent as given but that a receiver will not hand back byte for byte.
void WarnAboutFrames(const Schedule& schedule, std::ostream& err) {
  for (size_t i = 0; i < schedule.transmissions.size(); ++i) {
    const Bytes& frame = schedule.transmissions[i].frame;
    const auto warn = [&err, i](const char* why) {
      err << "mdcgen: warning: frame " << i + 1 << ' ' << why << '\n';
    };
    if (frame.size() > kReceiverFrameBytes) warn("is longer than the 999 bytes a receiver keeps");
    if (frame.back() == 0) warn("ends with a zero byte, which a receiver trims");
    if (!FalseSyncs(EncodeFrame(frame)).empty()) {
      warn("holds a bit pattern that a receiver takes for a sync word");
    }
  }
}

bool WriteSignal(const Arguments& arguments, const Timeline& timeline, std::ostream& out,
                 std::string& error) {
  const std::string& path = arguments.output_path;
  switch (*arguments.format) {
    case Format::kWav: {
      const int rate = arguments.rate.value_or(44100);
      return WriteFile(path, AsText(WavFile(RenderPcm(timeline, arguments.signal, rate), rate)),
                       out, error);
    }
    case Format::kRm100:
      return WriteFile(path, AsText(RenderRm100(timeline, arguments.signal)), out, error);
    case Format::kSlicer:
      return WriteFile(path, SlicerText(RenderSlicer(timeline, arguments.signal)), out, error);
  }
  return false;
}

}  // namespace

int RunMdcgen(std::span<const std::string> args, std::ostream& out, std::ostream& err) {
  Arguments arguments;
  try {
    arguments = ParseArguments(args);
  } catch (const UsageError& error) {
    err << "mdcgen: " << error.what() << "\n(mdcgen --help shows the usage)\n";
    return kExitUsage;
  }
  if (arguments.help) {
    out << kUsage;
    return 0;
  }

  Schedule schedule;
  if (const int status = MakeSchedule(arguments, schedule, err); status != 0) return status;
  double seconds = schedule.trailing_gap;
  for (const Transmission& transmission : schedule.transmissions) {
    seconds += transmission.gap_before + EncodedFrameBits(transmission.frame.size()) / kBitRate;
  }
  if (seconds > kMaxSeconds) {
    err << "mdcgen: the signal would last " << static_cast<long long>(seconds) << " s; at most "
        << kMaxSeconds << " s are made\n";
    return kExitUsage;
  }
  WarnAboutFrames(schedule, err);

  std::string error;
  const Timeline timeline = ComposeTimeline(schedule.transmissions, schedule.trailing_gap);
  if (!WriteSignal(arguments, timeline, out, error)) {
    err << "mdcgen: " << error << '\n';
    return kExitIo;
  }
  if (arguments.frames_out_path) {
    std::vector<Bytes> frames;
    for (const Transmission& transmission : schedule.transmissions) {
      frames.push_back(transmission.frame);
    }
    if (!WriteFile(*arguments.frames_out_path, FormatFrames(frames), out, error)) {
      err << "mdcgen: " << error << '\n';
      return kExitIo;
    }
  }
  return 0;
}

}  // namespace mdcgen
