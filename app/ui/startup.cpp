#include "app/ui/startup.h"

#include <QApplication>
#include <QIcon>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>

#include "app/acquisition/file_audio_input.h"
#include "app/acquisition/sound_card_input.h"
#include "app/outputs/headless_station.h"
#include "app/platform/paths.h"
#include "app/profile/profile.h"
#include "app/ui/data_files.h"
#include "app/ui/main_form.h"

namespace kestrel {
namespace {

constexpr char kUsage[] =
    "Usage: kestrel [PROFILE | -minimized]\n"
    "       kestrel --play RECORDING [PROFILE | -minimized]\n"
    "       kestrel --headless [--play RECORDING] [PROFILE]\n"
    "\n"
    "Monitors MDC-4800 mobile data terminal traffic from the sound card (or the source the\n"
    "profile chooses), shows the messages and acts on them by the profile's rules.\n"
    "\n"
    "  PROFILE          the profile to use; a bare file name is taken from the configuration\n"
    "                   directory, and without one its Kestrel.ini is used\n"
    "  -minimized       start with the main window minimised\n"
    "  --play FILE      play a recording (PCM WAV, 44100 or 22050 Hz) as if it came from the\n"
    "                   sound card, at real speed; monitoring stops at its end\n"
    "  --headless       run as a station without windows or display: monitor, apply the\n"
    "                   rules and publish events to the profile's [Outputs]; messages go to\n"
    "                   standard error, SIGHUP reopens the output files\n"
    "  --help           show this help\n"
    "  --version        show the version\n"
    "\n"
    "SIGTERM and SIGINT end the program as Exit does, saving what changed.\n";

}  // namespace

int RunKestrel(int argc, char** argv) {
  int first = 1;
  std::string recording;
  bool headless = false;
  if (argc > 1 && std::string_view(argv[1]) == "--headless") {
    headless = true;
    first = 2;
  }
  if (argc > first) {
    const std::string_view option = argv[first];
    if (option == "--help" || option == "-h") {
      std::fputs(kUsage, stdout);
      return 0;
    }
    if (option == "--version") {
      std::printf("Kestrel %s\n", KESTREL_VERSION);
      return 0;
    }
    if (option == "--play") {
      if (argc < first + 2) {
        std::fprintf(stderr, "kestrel: --play needs a recording\n%s", kUsage);
        return 2;
      }
      recording = argv[first + 1];
      first += 2;
    } else if (option.size() > 2 && option.substr(0, 2) == "--") {
      std::fprintf(stderr, "kestrel: unknown option %s\n%s", argv[first], kUsage);
      return 2;
    }
  }
  const std::string command_line = CommandLineFromArguments(argc - first + 1, argv + first - 1);
  if (headless) {
    if (command_line == "-minimized") {
      std::fprintf(stderr, "kestrel: -minimized has no window to minimise with --headless\n");
      return 2;
    }
    return RunHeadless(argc, argv, recording, command_line);
  }

  QApplication application(argc, argv);
  QApplication::setApplicationName("Kestrel");
  QApplication::setWindowIcon(QIcon(QString::fromStdString(DataFilePath("icons/kestrel.svg"))));

  std::unique_ptr<AudioInput> input;
  SoundCardInput* sound_card = nullptr;
  if (recording.empty()) {
    auto device = std::make_unique<SoundCardInput>();
    sound_card = device.get();
    input = std::move(device);
  } else {
    input = std::make_unique<FileAudioInput>(recording);
  }
  MainForm form(std::move(input));
  Program& program = form.program();
  if (sound_card != nullptr)
    sound_card->SetDeviceId([&program] { return program.settings.AudioInputDevice; });

  const StartupProfile startup = ResolveStartupProfile(command_line, ConfigDirectory(), FileExists);
  LoadStartupProfile(startup, program.Stores(), *form.Boxes());
  if (!recording.empty()) {
    // The recording stands in for the sound card for this run only: the profile keeps its own
    // source and monitoring choice.
    const int source = program.settings.SieveSource;
    const bool monitoring = program.settings.Monitoring;
    program.settings.SieveSource = kSieveSourceSoundCard;
    program.settings.Monitoring = true;
    form.SetBeforeSave([source, monitoring](Settings& settings) {
      settings.SieveSource = source;
      settings.Monitoring = monitoring;
    });
  }
  // SIGTERM and SIGINT end the program through the exit sequence, from the event loop.
  CatchSignals(&form, {SIGTERM, SIGINT}, [&form](int) { form.ExitSequence(false); });
  form.Start(startup.minimized);
  // A signal that came while a start-up message was up has ended the program already.
  if (form.Exited()) return 0;
  return application.exec();
}

}  // namespace kestrel
