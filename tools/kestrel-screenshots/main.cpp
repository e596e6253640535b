// kestrel-screenshots: plays a recording into Kestrel's real windows as fast as they take it,
// then saves pictures of the main window with its traffic, an alert, the message details window
// and the raw data window in hex. scripts/screenshots runs it under a virtual display.
//   kestrel-screenshots RECORDING OUTPUT_DIRECTORY
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QMenu>
#include <QPixmap>
#include <QTabBar>
#include <QTreeView>
#include <cstdio>
#include <memory>

#include "app/acquisition/file_audio_input.h"
#include "app/display/raw_data_form.h"
#include "app/mail/pigeon_mail_control.h"
#include "app/mail/test_email_dialog.h"
#include "app/network/clients_connected_window.h"
#include "app/outputs/outputs.h"
#include "app/platform/secret_store.h"
#include "app/profile/options_dialog.h"
#include "app/rules/alert_settings_dialog.h"
#include "app/rules/email_message_dialog.h"
#include "app/rules/log_message_dialog.h"
#include "app/rules/rule_dialog.h"
#include "app/ui/analysis_window.h"
#include "app/ui/main_form.h"
#include "support/signal_captures.h"

namespace {

bool Save(QWidget* window, const QDir& directory, const std::string& name) {
  if (window == nullptr) {
    std::fprintf(stderr, "kestrel-screenshots: no %s window to picture\n", name.c_str());
    return false;
  }
  window->raise();
  QApplication::processEvents();
  const QString path = directory.filePath(QString::fromStdString(name) + ".png");
  if (!window->grab().save(path)) {
    std::fprintf(stderr, "kestrel-screenshots: cannot write %s\n", qPrintable(path));
    return false;
  }
  std::printf("%s\n", qPrintable(path));
  return true;
}

QWidget* TopLevel(const char* name) {
  for (QWidget* w : QApplication::topLevelWidgets()) {
    if (w->objectName() == name && w->isVisible()) return w;
  }
  return nullptr;
}

// The options dialog only draws here; nothing it could ask of the window happens.
struct NoOptionsHost : kestrel::OptionsHost {
  void ApplyAlwaysOnTop(bool) override {}
  void StopMonitoring() override {}
  void StartMonitoring() override {}
  void ApplyPolarity(bool) override {}
  void ApplySettingsToWindows() override {}
  void ApplyMdtFont() override {}
};

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: kestrel-screenshots RECORDING OUTPUT_DIRECTORY\n");
    return 2;
  }
  QApplication application(argc, argv);
  const QDir directory(QString::fromLocal8Bit(argv[2]));
  if (!directory.exists() && !QDir().mkpath(directory.path())) {
    std::fprintf(stderr, "kestrel-screenshots: cannot make %s\n", argv[2]);
    return 1;
  }
  kestrel::RecordingMessageBoxes boxes;
  NoOptionsHost options_host;
  auto recording =
      std::make_unique<kestrel::FileAudioInput>(argv[1], kestrel::FileAudioInput::Pace::kLossless);
  const kestrel::FileAudioInput* input = recording.get();
  kestrel::MainForm form(std::move(recording), &boxes);
  kestrel::Program& program = form.program();
  program.settings.Monitoring = true;
  program.settings.ActivityLED = true;
  program.settings.MainWidth = 15000;
  program.settings.MainHeight = 10000;
  program.settings.MainTop = 0;
  program.settings.MainLeft = 0;
  program.rules.AddDefaultRules();
  kestrel::Rule alarm;
  alarm.Name = "Fire alarm";
  alarm.Active = true;
  alarm.MessageBody = "*FIRE ALARM*";
  alarm.Alert = true;
  alarm.AlertBackgroundColor = 0x000080;  // dark red
  alarm.AlertForegroundColor = 0xFFFFFF;
  program.rules.Append(alarm);
  form.Start(false);
  form.findChild<QAction*>("RawDataMenuItem")->trigger();
  if (QWidget* raw = TopLevel("RawDataForm"))
    raw->findChild<QAction*>("DisplayHexMenuItem")->trigger();

  // Every poll takes what the recording has delivered, far faster than real time. The last
  // buffers are decoded without the poll, which would stop monitoring at the recording's end.
  QElapsedTimer clock;
  clock.start();
  for (int poll = 0; program.settings.Monitoring && !input->Finished() && clock.elapsed() < 120000;
       ++poll) {
    // Some way into the recording, the user asks to see the signal.
    if (poll == 40) form.findChild<QAction*>("AnalyzeSignalMenuItem")->trigger();
    program.monitoring.Timer_Timer();
    QApplication::processEvents();
  }
  program.acquisition.ProcessAudioBuffers();
  program.StatusTick();
  QApplication::processEvents();
  if (!boxes.shown.empty()) {
    std::fprintf(stderr, "kestrel-screenshots: %s\n", boxes.shown.front().text.c_str());
    return 1;
  }
  if (program.messages_list.Count() == 0) {
    std::fprintf(stderr, "kestrel-screenshots: nothing was decoded from %s\n", argv[1]);
    return 1;
  }

  bool saved = Save(TopLevel("Analysis"), directory, "analysis-sound-card");
  if (QWidget* analysis = TopLevel("Analysis")) analysis->close();
  saved &= Save(TopLevel("Alert"), directory, "alert");
  if (QWidget* alert = TopLevel("Alert")) alert->close();
  saved &= Save(TopLevel("RawDataForm"), directory, "raw-data");
  if (QWidget* raw = TopLevel("RawDataForm")) raw->close();

  // A terminal's traffic in the MDT display, and a message in the details window.
  auto* terminals = form.findChild<QTreeView*>("Terminals");
  form.ClickTerminalsRow(3);
  terminals->setCurrentIndex(terminals->model()->index(3, 0));
  form.ClickTerminalsRow(3);
  auto* messages = form.findChild<QTreeView*>("Messages");
  messages->setCurrentIndex(messages->model()->index(4, 0));
  form.OpenMessage();
  QApplication::processEvents();
  saved &= Save(TopLevel("MessageDetails"), directory, "message-details");
  if (QWidget* details = TopLevel("MessageDetails")) details->close();
  terminals->setCurrentIndex(terminals->model()->index(3, 0));
  form.ClickTerminalsRow(3);
  saved &= Save(&form, directory, "main-window");

  // The connected-clients window as a serving Kestrel shows it.
  auto* clients =
      new kestrel::ClientsConnected({"192.0.2.17", "192.0.2.40", "dispatch-annex"}, false);
  clients->show();
  saved &= Save(clients, directory, "clients-connected");
  clients->close();

  // The windows that configure Kestrel, at their opening sizes.
  form.findChild<QAction*>("ConfigureRulesMenuItem")->trigger();
  saved &= Save(TopLevel("RulesConfigure"), directory, "rules");
  if (QWidget* rules = TopLevel("RulesConfigure")) rules->close();
  {
    kestrel::RuleDialog rule(program.rules, program.settings, boxes, {}, {});
    rule.Prepare(kestrel::RuleDialogMode::kEdit, *program.rules.At(2), program.rules.At(2)->Name);
    rule.show();
    saved &= Save(&rule, directory, "rule");
    kestrel::Rule pending = *program.rules.At(2);
    bool checked = true;
    kestrel::AlertSettingsDialog alert_settings(pending, kestrel::StandardColourPicker());
    alert_settings.show();
    saved &= Save(&alert_settings, directory, "rule-alert");
    kestrel::LogMessageDialog log_settings(pending, checked, boxes,
                                           kestrel::StandardColourPicker());
    log_settings.show();
    saved &= Save(&log_settings, directory, "rule-log-message");
    pending.EMailMessageDisabledHours = "1:0,1:1,1:2,1:3,1:4,1:5,1:22,1:23";
    kestrel::EMailMessageDialog email_settings(pending, checked, program.settings, boxes, 1);
    email_settings.show();
    saved &= Save(&email_settings, directory, "rule-email");
  }
  {
    // The mail settings of a typical provider, with a password kept in a store of the tool's own.
    program.settings.SMTPMailServer = "smtp.example.org";
    program.settings.SMTPSecurity = 1;
    program.settings.SMTPUserName = "dispatch.monitor@example.org";
    const kestrel::SecretStore secrets(QDir::tempPath().toStdString() + "/kestrel-screenshots",
                                       kestrel::SecretStore::Keyring::kNone);
    kestrel::OptionsForm options({.settings = program.settings,
                                  .boxes = boxes,
                                  .host = options_host,
                                  .choose_colour = kestrel::SystemColourChooser(),
                                  .choose_font = kestrel::SystemFontChooser(),
                                  .audio_inputs = {{"alsa_input.usb-receiver", "USB receiver"}},
                                  .serial_ports = {"/dev/ttyUSB0"},
                                  .platform = {.slicer_available = true},
                                  .secrets = &secrets,
                                  .new_mail_control = kestrel::NewPigeonMailControl});
    options.show();
    auto* tabs = options.findChild<QTabBar*>("tbsOptions");
    for (int tab = 0; tabs != nullptr && tab < tabs->count(); ++tab) {
      tabs->setCurrentIndex(tab);
      const std::string name = "options-" + std::to_string(tab + 1);
      saved &= Save(&options, directory, name);
    }
  }
  {
    // A test mail to a server that is not there: the conversation and its failure.
    kestrel::MailConnection connection;
    kestrel::TestEMailDialog test_mail("127.0.0.1:1", connection, kestrel::NewPigeonMailControl());
    test_mail.show();
    if (auto* address = test_mail.findChild<QLineEdit*>("txtTestEMailAddress"))
      address->setText("duty.officer@example.org");
    test_mail.Send();
    saved &= Save(&test_mail, directory, "test-email");
  }
  form.findChild<QAction*>("MailStatusMenuItem")->trigger();
  saved &= Save(TopLevel("frmMailStatus"), directory, "mail-status");
  if (QWidget* mail_status = TopLevel("frmMailStatus")) mail_status->close();
  {
    const auto report = [](std::string_view) {};
    program.station.AddOutput(
        std::make_unique<kestrel::FileOutput>(QDir::tempPath().toStdString(), report));
    program.station.AddOutput(
        std::make_unique<kestrel::TcpOutput>("127.0.0.1", 4810, 1 << 20, report));
    form.findChild<QAction*>("OutputsMenuItem")->trigger();
    saved &= Save(TopLevel("frmOutputs"), directory, "outputs");
    if (QWidget* outputs = TopLevel("frmOutputs")) outputs->close();
  }
  form.findChild<QAction*>("ConfigureAliasesMenuItem")->trigger();
  saved &= Save(TopLevel("ConfigureAliases"), directory, "aliases");
  if (QWidget* aliases = TopLevel("ConfigureAliases")) aliases->close();

  // The RM100's view of a signal: two levels at four samples a bit.
  auto* rm100 = new kestrel::AnalysisWindow(false);
  rm100->setAttribute(Qt::WA_DeleteOnClose);
  rm100->show();
  rm100->Draw(kestrel_test::RM100Capture(1));
  saved &= Save(rm100, directory, "analysis-rm100");
  rm100->close();

  program.settings.CurrentProfile.clear();
  form.ExitSequence(false);
  return saved ? 0 : 1;
}
