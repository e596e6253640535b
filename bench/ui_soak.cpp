// Soak of the real main window: decoded records for 1,000 terminals handed off as the sound
// card's poll hands them off, the event loop running between blocks. Reports records per second,
// the longest stall of the event loop and resident memory as traffic accumulates.
//   ui_soak [RECORDS]     (default 200000; runs offscreen)
#include <QApplication>
#include <QElapsedTimer>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <string>

#include "app/ui/main_form.h"
#include "support/fake_acquisition.h"
#include "support/records.h"

namespace {

constexpr int kTerminals = 1000;
constexpr int kBlock = 50;  // records between two turns of the event loop

double ResidentMegabytes() {
  std::ifstream statm("/proc/self/statm");
  long pages = 0, resident = 0;
  statm >> pages >> resident;
  return double(resident) * double(sysconf(_SC_PAGESIZE)) / (1024.0 * 1024.0);
}

// Dispatch-like traffic: new messages and continuations, some for the default rules' words.
std::string NextRecord(int i) {
  static const char* const kTexts[] = {
      "DISPATCH: 10-50 AT 1200 MAIN ST, CROSS ELM\rUNITS 12 14 RESPOND",
      "STATUS 8 AVAILABLE IN QUARTERS",
      "MESSAGE FROM DISPATCH: CALL THE DESK ON A LANDLINE",
      "QUERY PLATE ABC123 NO WANTS NO WARRANTS\rREG: 2019 SEDAN BLUE",
      "\x1b[2;1HUNIT LOG ON\x1b[0m  BADGE 4411",
  };
  const uint16_t terminal = uint16_t(0x1000 + (i * 7919) % kTerminals);
  const bool continuation = i % 5 == 4;
  std::string text = kTexts[i % 5];
  text += " #" + std::to_string(i);
  return kestrel_test::Record(terminal, !continuation, text);
}

}  // namespace

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  const long total = argc > 1 ? std::max(1L, std::atol(argv[1])) : 200000;
  QApplication application(argc, argv);
  auto audio = std::make_unique<kestrel_test::FakeAudioInput>();
  kestrel::RecordingMessageBoxes boxes;
  kestrel::MainForm form(std::move(audio), &boxes);
  kestrel::Program& program = form.program();
  program.settings.Monitoring = false;
  program.settings.ActivityLED = true;
  form.resize(1000, 700);
  form.Start(false);
  if (program.rules.Count() != 2) {
    std::fprintf(stderr, "ui_soak: expected the two default rules\n");
    return 1;
  }

  // The stall is the longest time between two turns of the event loop.
  QElapsedTimer since_turn;
  long long longest_stall_ns = 0;
  QElapsedTimer clock;
  clock.start();
  double rss_early = 0;
  long handed = 0;
  for (long i = 0; i < total; ++i) {
    if (i % kBlock == 0) {
      if (since_turn.isValid())
        longest_stall_ns = std::max(longest_stall_ns, since_turn.nsecsElapsed());
      QApplication::processEvents();
      since_turn.start();
    }
    const std::string record = NextRecord(int(i));
    std::memcpy(program.acquisition.WorkBuffer(), record.data(), record.size());
    program.acquisition.HandOffDecodedData(int32_t(record.size()), int32_t(i % 7));
    ++handed;
    if (handed == 20000) rss_early = ResidentMegabytes();
  }
  QApplication::processEvents();
  const double seconds = double(clock.nsecsElapsed()) / 1e9;
  const double rss_late = ResidentMegabytes();

  std::printf("records:                %ld for %d terminals\n", handed, kTerminals);
  std::printf("records per second:     %.0f\n", double(handed) / seconds);
  std::printf("longest event-loop stall: %.1f ms (blocks of %d records)\n",
              double(longest_stall_ns) / 1e6, kBlock);
  std::printf("resident after 20000:   %.1f MB\n", rss_early);
  std::printf("resident after %ld: %.1f MB\n", handed, rss_late);
  std::printf("growth:                 %.1f MB\n", rss_late - rss_early);
  std::printf("messages rows: %d, terminals: %d, message boxes shown: %zu\n",
              program.messages_list.Count(), program.traffic.TerminalCount(), boxes.shown.size());
  program.settings.CurrentProfile.clear();
  form.ExitSequence(false);
  return 0;
}
