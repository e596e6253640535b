// decoder-sweep: the decoders' table of frames received intact and frames with wrong bytes.

#include <algorithm>
#include <charconv>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <iostream>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "sweep.h"

namespace {

constexpr int kExitUsage = 2;
constexpr size_t kMaxFrames = 100000;
constexpr double kMaxNoiseHours = 24.0;

constexpr char kUsage[] =
    R"(Usage: decoder-sweep [OPTIONS]

Sends generated frames through the decoders in memory, in the block sizes Kestrel uses, and
prints for each point and decoder the frames received intact (byte for byte) out of the frames
sent, and the deliveries whose bytes match no frame sent ("wrong"). Then it decodes pure noise
(standard deviation 40 PCM steps; random RM100 bits): every frame delivered from it is made up.
Fixed seeds: every run gives the same table.

Points (30-byte frames, 0.5 s of rest around each; at S dB the noise's standard deviation is
the level distance of 40 PCM steps divided by 10^(S/20), drawn at 44100 Hz):
  flat RATE S dB      noise throughout, also between transmissions
  squelch RATE S dB   a squelched receiver: S dB while frames are sent, a floor 40 dB down
                      between them (none in the no-noise row), pauses of 0.5 to 4 s
  speaker RATE S dB   flat noise, then a 300-3000 Hz AC-coupled channel
  rm100 ...           RM100 bytes, clean or with each sample inverted at random

Options:
  --points LIST       only the points whose names contain one of the comma-separated
                      texts (e.g. "flat 44100,rm100"); none skips to the noise runs
  -n, --frames N      frames per point, 1 to 100000 (default 200)
  --noise-hours H     pure noise decoded per input (44100, 22050, RM100), 0 to 24
                      (default 0.02, 72 s)
  --decoder NAME      exact, robust or both (default both)
  --list              print the point names and stop
  -h, --help          show this text
)";

struct Options {
  std::vector<std::string> points;
  bool no_points = false;
  size_t frames = 200;
  double noise_hours = 0.02;
  std::string decoder = "both";
  bool list = false;
  bool help = false;
};

// Empty on success, else the reason.
std::string Parse(int argc, char** argv, Options& options) {
  for (int i = 1; i < argc; ++i) {
    std::string_view arg = argv[i];
    std::optional<std::string_view> attached;
    if (const size_t equals = arg.find('='); arg.starts_with("--") && equals != arg.npos) {
      attached = arg.substr(equals + 1);
      arg = arg.substr(0, equals);
    }
    const auto value = [&]() -> std::optional<std::string_view> {
      if (attached) return attached;
      if (i + 1 == argc) return std::nullopt;
      return std::string_view(argv[++i]);
    };
    if (arg == "-h" || arg == "--help") {
      options.help = true;
    } else if (arg == "--list") {
      options.list = true;
    } else if (arg == "--points" || arg == "-n" || arg == "--frames" || arg == "--noise-hours" ||
               arg == "--decoder") {
      const std::optional<std::string_view> text = value();
      if (!text) return std::string(arg) + " needs a value";
      if (arg == "--points") {
        options.points.clear();
        options.no_points = text->empty() || *text == "none";
        for (size_t start = 0; !options.no_points && start <= text->size();) {
          const size_t comma = std::min(text->find(',', start), text->size());
          if (comma > start) options.points.emplace_back(text->substr(start, comma - start));
          start = comma + 1;
        }
      } else if (arg == "--decoder") {
        if (*text != "exact" && *text != "robust" && *text != "both") {
          return "--decoder is exact, robust or both, not '" + std::string(*text) + "'";
        }
        options.decoder = std::string(*text);
      } else if (arg == "--noise-hours") {
        double hours = -1.0;
        const auto [end, error] = std::from_chars(text->data(), text->data() + text->size(), hours);
        if (error != std::errc() || end != text->data() + text->size() || !std::isfinite(hours) ||
            hours < 0.0 || hours > kMaxNoiseHours) {
          return "--noise-hours needs a number from 0 to 24, not '" + std::string(*text) + "'";
        }
        options.noise_hours = hours;
      } else {
        size_t frames = 0;
        const auto [end, error] =
            std::from_chars(text->data(), text->data() + text->size(), frames);
        if (error != std::errc() || end != text->data() + text->size() || frames < 1 ||
            frames > kMaxFrames) {
          return std::string(arg) + " needs 1 to 100000 frames, not '" + std::string(*text) + "'";
        }
        options.frames = frames;
      }
    } else {
      return "unknown argument '" + std::string(arg) + "'";
    }
  }
  return {};
}

bool Selected(const Options& options, const std::string& name) {
  if (options.no_points) return false;
  if (options.points.empty()) return true;
  for (const std::string& text : options.points) {
    if (name.find(text) != std::string::npos) return true;
  }
  return false;
}

double Since(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

}  // namespace

int main(int argc, char** argv) {
  Options options;
  if (const std::string problem = Parse(argc, argv, options); !problem.empty()) {
    std::cerr << "decoder-sweep: " << problem << "\n(decoder-sweep --help shows the usage)\n";
    return kExitUsage;
  }
  if (options.help) {
    std::cout << kUsage;
    return 0;
  }
  const std::vector<sweep::Point> all = sweep::StandardPoints(options.frames);
  if (options.list) {
    for (const sweep::Point& point : all) std::cout << point.name << '\n';
    return 0;
  }
  std::vector<sweep::Point> points;
  for (const sweep::Point& point : all) {
    if (Selected(options, point.name)) points.push_back(point);
  }
  if (points.empty() && !options.no_points) {
    std::cerr << "decoder-sweep: no point's name contains what --points gives (--list shows "
                 "them)\n";
    return kExitUsage;
  }

  std::vector<sweep::DecoderKind> decoders = {sweep::DecoderKind::kExact,
                                              sweep::DecoderKind::kRobust};
  if (options.decoder == "exact") decoders = {sweep::DecoderKind::kExact};
  if (options.decoder == "robust") decoders = {sweep::DecoderKind::kRobust};

  const auto start = std::chrono::steady_clock::now();
  std::printf("%-24s %6s", "point", "sent");
  for (sweep::DecoderKind kind : decoders) {
    std::printf(" %8s-intact %6s", sweep::DecoderName(kind), "wrong");
  }
  std::printf(" %8s\n", "seconds");
  for (const sweep::Point& point : points) {
    const auto row_start = std::chrono::steady_clock::now();
    std::printf("%-24s %6zu", point.name.c_str(), point.frames);
    for (sweep::DecoderKind kind : decoders) {
      const sweep::Score score = sweep::Measure(point, kind);
      std::printf(" %15zu %6zu", score.intact, score.wrong);
    }
    std::printf(" %8.1f\n", Since(row_start));
    std::fflush(stdout);
  }

  const double noise_seconds = options.noise_hours * 3600.0;
  if (noise_seconds > 0.0) {
    for (int rate : {44100, 22050, 0}) {
      const auto row_start = std::chrono::steady_clock::now();
      const std::string name = rate == 0 ? "noise rm100" : "noise " + std::to_string(rate);
      std::printf("%-24s %6s", name.c_str(), "-");
      for (sweep::DecoderKind kind : decoders) {
        std::printf(" %15zu %6s", sweep::NoiseFrames(rate, noise_seconds, kind, 4800), "-");
      }
      std::printf(" %8.1f\n", Since(row_start));
      std::fflush(stdout);
    }
    std::printf("(noise rows: frames delivered from %.0f s of pure noise each; all are made up)\n",
                noise_seconds);
  }
  std::printf("total %.1f s\n", Since(start));
  return 0;
}
