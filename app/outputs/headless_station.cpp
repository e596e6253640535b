#include "app/outputs/headless_station.h"

#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QSocketNotifier>
#include <QTimer>
#include <csignal>
#include <cstdio>
#include <memory>

#include "app/acquisition/file_audio_input.h"
#include "app/acquisition/serial_port_sources.h"
#include "app/acquisition/sound_card_input.h"
#include "app/mail/pigeon_mail_control.h"
#include "app/network/feed_network.h"
#include "app/outputs/outputs.h"
#include "app/platform/paths.h"
#include "app/platform/program_log.h"
#include "app/platform/secret_store.h"
#include "app/ui/program.h"

namespace kestrel {
namespace {

constexpr auto kFinishWait = std::chrono::seconds(10);
constexpr int kHealthPeriodS = 60;

void Line(std::string_view text) {
  std::fprintf(stderr, "kestrel: %.*s\n", int(text.size()), text.data());
  std::fflush(stderr);
}

struct SilentAlert : AlertView {
  void ShowAlert(const AlertContent&) override {}
  void SetReceived(std::string_view) override {}
  void SetMessageText(std::string_view) override {}
};

struct SilentSound : SoundOutput {
  void PlaySound(const std::string&) override {}
  void Beep() override {}
};

// Every view the program reaches, without a window: timers are real, the rest is reported on
// standard error (messages) or as status events (monitoring changes, source problems).
class HeadlessHost : public MainView, public MonitoringView, public FeedView, public MessageBoxes {
 public:
  std::function<bool(int32_t)> has_row;
  std::function<void(std::string_view state, std::string_view text)> status;
  std::function<void()> stopped;  // monitoring stopped (the status event is out)

  QTimer timer, net_timer, reconnect_timer;

  // MainView: the "<all>" row selected, nothing else shown.
  void TrafficSeen() override {}
  void SetStatusText(std::string_view) override {}
  void RestartAcquisitionTimer() override {
    if (timer.isActive()) timer.start();
  }
  void AppendTerminalRow(std::string_view, std::string_view) override {}
  std::optional<std::string> SelectedTerminal() const override { return "<all>"; }
  bool Minimised() const override { return false; }
  bool HasMessagesRow(int32_t tag) const override { return has_row && has_row(tag); }
  std::optional<int32_t> SelectedMessagesRow() const override { return std::nullopt; }
  bool MDTShowsMessage() const override { return false; }
  bool MessageDetailsOpen() const override { return false; }
  bool MessageDetailsVisible() const override { return false; }
  void DisplayMessageDetails(bool, int32_t) override {}

  // MonitoringView and FeedView.
  void SetStatusPanel(int panel, std::string_view text) override {
    if (panel != 1) return;
    panel1_ = std::string(text);
    if (!Problem(text) || panel1_ == last_problem_) return;
    last_problem_ = panel1_;
    status("warning", text);
  }
  void SetAcquisitionTimer(bool enabled) override { Enable(timer, enabled); }
  void SetNetTimer(bool enabled) override { Enable(net_timer, enabled); }
  void SetReconnectTimer(bool enabled) override { Enable(reconnect_timer, enabled); }
  void SetPlayEnabled(bool) override {}
  void SetStopEnabled(bool) override {}
  void SetNetworkButton(bool, std::string_view) override {}
  void SetMonitorChecked(bool checked) override {
    if (checked == monitoring_) return;
    monitoring_ = checked;
    last_problem_.clear();
    if (checked) return status("started", source_name ? source_name() : std::string());
    // Panel 1 gets its final word ("Recording finished") just after the check mark goes.
    QTimer::singleShot(0, [this] {
      status("stopped", panel1_);
      if (stopped) stopped();
    });
  }
  void SetAnalyzeSignalEnabled(bool) override {}
  void SetReversePolarityEnabled(bool) override {}
  void ShowSignalCapture() override {}

  // MessageBoxes: the text on standard error; questions take their first answer.
  Answer Show(std::string_view text, std::string_view title, Icon, Buttons buttons) override {
    std::string line(title);
    line += ": ";
    for (const char ch : text) line += (ch == '\r' ? ' ' : ch == '\n' ? ' ' : ch);
    Line(line);
    if (status) status("error", line);
    return buttons == Buttons::kYesNo || buttons == Buttons::kYesNoCancel ? Answer::kYes
                                                                          : Answer::kOk;
  }

  std::function<std::string()> source_name;

 private:
  static void Enable(QTimer& t, bool enabled) {
    if (enabled)
      t.start();
    else
      t.stop();
  }
  // Panel 1's usual texts are no news; anything else the polls write there is a source problem.
  static bool Problem(std::string_view text) {
    return !text.empty() && text.substr(0, 10) != "Monitoring" && text != "Not monitoring" &&
           text.substr(0, 9) != "Recording" && text.substr(0, 10) != "Requesting";
  }

  bool monitoring_ = false;
  std::string panel1_;
  std::string last_problem_;
};

int signal_pipe[2] = {-1, -1};

void OnSignal(int number) {
  const char byte = char(number);
  [[maybe_unused]] const ssize_t n = write(signal_pipe[1], &byte, 1);
}

}  // namespace

bool CatchSignals(QObject* owner, std::initializer_list<int> numbers,
                  std::function<void(int)> handle) {
  if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, signal_pipe) != 0) return false;
  fcntl(signal_pipe[1], F_SETFL, O_NONBLOCK);
  auto* notifier = new QSocketNotifier(signal_pipe[0], QSocketNotifier::Read, owner);
  QObject::connect(notifier, &QSocketNotifier::activated, owner, [handle = std::move(handle)] {
    char byte;
    if (read(signal_pipe[0], &byte, 1) == 1) handle(uint8_t(byte));
  });
  struct sigaction action {};
  action.sa_handler = OnSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  for (const int number : numbers) sigaction(number, &action, nullptr);
  return true;
}

int RunHeadless(int argc, char** argv, const std::string& recording,
                const std::string& command_line) {
  QCoreApplication application(argc, argv);
  QCoreApplication::setApplicationName("Kestrel");
  const bool playing = !recording.empty();

  std::unique_ptr<AudioInput> input;
  SoundCardInput* sound_card = nullptr;
  if (playing) {
    input = std::make_unique<FileAudioInput>(recording);
  } else {
    auto device = std::make_unique<SoundCardInput>();
    sound_card = device.get();
    input = std::move(device);
  }
  HeadlessHost host;
  SystemClock clock;
  PlainTextWindow mdt;
  SilentAlert alert;
  SilentSound sound;
  SerialPortSources serial;
  pigeon::Mail mail;
  PigeonMailControl mail_control(mail);
  FeedNetworkForwarder forwarder;
  Program program(ProgramParts{host, host, alert, sound, mdt, host, clock, *input, forwarder,
                               serial, mail_control, nullptr});
  host.has_row = [&program](int32_t tag) { return program.messages_list.Find(tag) >= 0; };
  FeedNetworkQt feed(FeedServices{
      program.settings, clock, host, host,
      [&program](const std::string& record) { program.processor.ProcessSieve(record); },
      [&program](std::string_view status) { program.monitoring.StopMonitoring(status); },
      [&program] { program.monitoring.StartMonitoring(); }});
  forwarder.target = &feed;
  QObject::connect(&host.net_timer, &QTimer::timeout, &feed, [&feed] { feed.NetTimerTick(); });
  QObject::connect(&host.reconnect_timer, &QTimer::timeout, &feed,
                   [&feed] { feed.ReconnectTimerTick(); });
  if (sound_card != nullptr)
    sound_card->SetDeviceId([&program] { return program.settings.AudioInputDevice; });

  const StartupProfile startup = ResolveStartupProfile(command_line, ConfigDirectory(), FileExists);
  if (!LoadStartupProfile(startup, program.Stores(), host)) return 1;
  std::string mail_error;
  program.email.SetConnection(LoadMailConnection(program.settings, SecretStore(), mail_error));
  if (!mail_error.empty()) LogProgramEvent("E-mail: " + mail_error);

  // The station always monitors; the profile keeps its own choices (and, with a recording, its
  // own source) for the desktop.
  const int saved_source = program.settings.SieveSource;
  const bool saved_monitoring = program.settings.Monitoring;
  if (playing) program.settings.SieveSource = kSieveSourceSoundCard;
  program.settings.Monitoring = true;

  Station& station = program.station;
  ConfigureOutputs(station, program.settings.CurrentProfile, kFinishWait,
                   [](std::string_view line) { LogProgramEvent(line); });
  const auto source = [&program, playing] { return SourceName(program.settings, playing); };
  station.SetSource(source);
  station.SetWindowActionNotice(Line);
  host.status = [&station](std::string_view state, std::string_view text) {
    station.Status(state, text);
  };
  host.source_name = source;

  QTimer status_timer;
  status_timer.setInterval(3000);
  QObject::connect(&status_timer, &QTimer::timeout, [&program] { program.StatusTick(); });
  QTimer health_timer;
  health_timer.setInterval(kHealthPeriodS * 1000);
  QObject::connect(&health_timer, &QTimer::timeout,
                   [&] { station.Health(kHealthPeriodS, program.acquisition.Quality()); });
  QObject::connect(&host.timer, &QTimer::timeout, [&program] { program.monitoring.Timer_Timer(); });
  host.timer.setInterval(250);

  bool exited = false;
  int exit_code = 0;
  const auto exit_sequence = [&] {
    if (exited) return;
    exited = true;
    for (QTimer* t :
         {&host.timer, &status_timer, &health_timer, &host.net_timer, &host.reconnect_timer})
      t->stop();
    program.settings.SieveSource = saved_source;
    program.settings.Monitoring = saved_monitoring;
    const ExitSave choice = program.ExitSaveChoice(false);
    std::string failure;
    if (!program.SaveForExit(choice, {false, nullptr}, &failure))
      host.Show("Unable to save profile to " + program.settings.CurrentProfile + ": " + failure,
                "Error Saving Profile", MessageBoxes::Icon::kExclamation,
                MessageBoxes::Buttons::kOk);
    if (program.acquisition.DeviceOpen()) program.acquisition.CloseAudioDevice();
    if (saved_source == kSieveSourceNetwork)
      feed.DisconnectFromServer();
    else
      feed.CloseClients();
    if (program.rule_processing.PrinterStarted()) program.rule_processing.EndPrinting();
    station.Finish(kFinishWait);
    QCoreApplication::exit(exit_code);
  };
  host.stopped = [&] {
    if (playing) return exit_sequence();
    // A lost feed is requested again; any other stop leaves nothing to monitor, and a service
    // manager restarts a station that ends with a failure.
    if (program.settings.SieveSource == kSieveSourceNetwork && program.settings.AutoReconnect)
      return;
    Line("monitoring stopped and cannot resume; ending");
    exit_code = 1;
    exit_sequence();
  };

  QObject* owner = &application;
  CatchSignals(owner, {SIGTERM, SIGINT, SIGHUP}, [&](int number) {
    if (number == SIGHUP) {
      station.Reopen();
      LogProgramEvent("Output files reopened");
      return;
    }
    if (!exited) station.Status("stopped", number == SIGINT ? "SIGINT" : "SIGTERM");
    exit_sequence();
  });

  if (program.rules.Count() == 0) program.rules.AddDefaultRules();
  program.monitoring.StartMonitoring();
  if (!program.settings.Monitoring) {
    Line("nothing can be monitored; ending");
    station.Status("stopped", "nothing can be monitored");
    exit_code = 1;
    exit_sequence();
    return 1;
  }
  status_timer.start();
  health_timer.start();
  return application.exec();
}

}  // namespace kestrel
