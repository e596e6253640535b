#include "app/ui/main_form.h"

#include <gtest/gtest.h>

#include <QAbstractItemView>
#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QTreeView>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "app/display/raw_data_form.h"
#include "app/outputs/outputs_window.h"
#include "app/platform/program_log.h"
#include "app/platform/twips.h"
#include "app/profile/ini_file.h"
#include "app/profile/profile.h"
#include "support/fake_acquisition.h"
#include "support/program_stores.h"
#include "support/records.h"
#include "support/scratch_directory.h"

namespace kestrel {
namespace {

using Stores = kestrel_test::ProgramStores;

// Answers every question with `answer`; may close the window while a question is up.
struct ScriptedBoxes : MessageBoxes {
  Answer Show(std::string_view text, std::string_view title, Icon, Buttons buttons) override {
    shown.push_back({std::string(text), std::string(title)});
    if (during_question) during_question();
    if (buttons == Buttons::kOk) return Answer::kOk;
    return answer;
  }
  std::vector<std::pair<std::string, std::string>> shown;
  Answer answer = Answer::kYes;
  std::function<void()> during_question;
};

QWidget* TopLevel(const char* name) {
  for (QWidget* w : QApplication::topLevelWidgets()) {
    if (w->objectName() == name && w->isVisible()) return w;
  }
  return nullptr;
}

class MainFormTest : public testing::Test {
 protected:
  void SetUp() override {
    auto audio = std::make_unique<kestrel_test::FakeAudioInput>();
    audio_ = audio.get();
    form_ = std::make_unique<MainForm>(std::move(audio), &boxes_);
    form_->SetFileQuestion([this](const std::string& title, const std::string&, const std::string&,
                                  const std::string&) {
      asked_.push_back(title);
      return answer_path_;
    });
    Rule everything;
    everything.Name = "Everything";
    everything.Active = true;
    everything.MessageBody = "*";
    everything.LogMessages = true;
    everything.LogMessageType = "Logged";
    everything.LogMessageVerb = "with";
    everything.LogMessageOccurence = 1;
    everything.LogMessageCharacter = "character";
    program().rules.Append(everything);
  }
  void TearDown() override {
    form_.reset();
    for (QWidget* w : QApplication::topLevelWidgets()) delete w;
  }

  Program& program() { return form_->program(); }
  template <typename T>
  T* Child(const char* name) {
    T* child = form_->findChild<T*>(name);
    EXPECT_NE(child, nullptr) << name;
    return child;
  }
  QAction* Action(const char* name) { return Child<QAction>(name); }
  QString Panel(int n) {
    return Child<QLabel>(qPrintable(QString("StatusPanel%1").arg(n)))->text();
  }
  // The text windows show appended text at the next turn of the event loop.
  QString Mdt() {
    QApplication::processEvents();
    return Child<QPlainTextEdit>("MDT")->toPlainText();
  }
  void Receive(uint16_t terminal, std::string_view text, bool tx = true) {
    program().processor.ProcessSieve(kestrel_test::Record(terminal, tx, text));
  }
  void ClickRow(const char* list, int row) {
    auto* view = Child<QTreeView>(list);
    const QRect rect = view->visualRect(view->model()->index(row, 0));
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, rect.center());
  }
  void Start() {
    program().settings.Monitoring = true;
    form_->Start(false);
  }

  ScriptedBoxes boxes_;
  kestrel_test::FakeAudioInput* audio_ = nullptr;
  std::unique_ptr<MainForm> form_;
  std::string answer_path_;
  std::vector<std::string> asked_;
  kestrel_test::ScratchDirectory scratch_;
};

TEST_F(MainFormTest, EveryNamedControlIsThere) {
  for (const char* name : {"LoadProfileMenuItem",
                           "MailStatusMenuItem",
                           "SaveProfileMenuItem",
                           "SaveProfileAsMenuItem",
                           "CaptureMenuItem",
                           "CaptureToFileMenuItem",
                           "CaptureToPrinterMenuItem",
                           "StopCapturingMenuItem",
                           "PrintSetupMenuItem",
                           "ExitMenuItem",
                           "EditCopyMenuItem",
                           "EditSelectAllMenuItem",
                           "ClearAllMenuItem",
                           "AlertsMenuItem",
                           "RawDataMenuItem",
                           "ToolbarMenuItem",
                           "StatusBarMenuItem",
                           "AnalyzeSignalMenuItem",
                           "OptionsMenuItem",
                           "TerminalAliasMenuItem",
                           "HoldMDTMenuItem",
                           "ReversePolarityMenuItem",
                           "MonitorMDTMenuItem",
                           "ConfigureRulesMenuItem",
                           "ConfigureAliasesMenuItem",
                           "HomePageMenuItem",
                           "FAQMenuItem",
                           "ReleaseHistoryMenuItem",
                           "AboutMenuItem",
                           "OpenKestrelMenuItem",
                           "ExitMenuItem2",
                           "OpenMessageMenuItem",
                           "DeleteMessageMenuItem",
                           "DeleteAllMessageRows",
                           "EditAliasMenuItem",
                           "HoldMDTMenuItem2",
                           "open",
                           "save",
                           "network",
                           "play",
                           "stop",
                           "hold"})
    Action(name);
  EXPECT_EQ(Action("CaptureMenuItem")->text(), "&Capture...");
  EXPECT_EQ(Action("MonitorMDTMenuItem")->text(), "Monitor MDT's");
  EXPECT_EQ(Action("play")->toolTip(), "Start monitoring");
  EXPECT_EQ(Action("HomePageMenuItem")->shortcut(), QKeySequence(QKeySequence::HelpContents));
  for (const char* name : {"Messages", "Terminals"}) Child<QTreeView>(name);
  for (const char* name : {"TerminalsLabel", "MDTDisplayLabel", "ActivityLED"}) Child<QLabel>(name);
  for (const char* name : {"SystemTrayMenu", "MessagesMenu", "AliasesMenu", "MainFormMenu"})
    Child<QMenu>(name);
  EXPECT_EQ(Child<QMenu>("SystemTrayMenu")->defaultAction(), Action("OpenKestrelMenuItem"));
  EXPECT_EQ(Child<QLabel>("StatusPanel2")->toolTip(), "Errors attempted to correct in last data");
  EXPECT_EQ(Child<QLabel>("StatusPanel3")->toolTip(), "The current time.");
  EXPECT_EQ(Child<QLabel>("TerminalsLabel")->text(), "Active Terminals");
}

TEST_F(MainFormTest, MonitoringStartsAndStopsWithTheWindowInStep) {
  Start();
  EXPECT_EQ(Panel(1), "Monitoring");
  EXPECT_FALSE(Action("play")->isEnabled());
  EXPECT_TRUE(Action("stop")->isEnabled());
  EXPECT_TRUE(Action("MonitorMDTMenuItem")->isChecked());
  EXPECT_TRUE(Action("ReversePolarityMenuItem")->isEnabled());
  EXPECT_TRUE(Action("AnalyzeSignalMenuItem")->isEnabled());
  EXPECT_TRUE(program().settings.Monitoring);
  EXPECT_TRUE(audio_->open);

  Action("stop")->trigger();
  EXPECT_EQ(Panel(1), "Not monitoring");
  EXPECT_TRUE(Action("play")->isEnabled());
  EXPECT_FALSE(Action("MonitorMDTMenuItem")->isChecked());
  EXPECT_FALSE(Action("ReversePolarityMenuItem")->isEnabled());
  EXPECT_FALSE(program().settings.Monitoring);
  EXPECT_FALSE(audio_->open);

  // The menu item asks for the opposite of its check mark.
  Action("MonitorMDTMenuItem")->trigger();
  EXPECT_TRUE(Action("MonitorMDTMenuItem")->isChecked());
  EXPECT_TRUE(audio_->open);
  Action("MonitorMDTMenuItem")->trigger();
  EXPECT_FALSE(Action("MonitorMDTMenuItem")->isChecked());
  EXPECT_FALSE(audio_->open);
}

TEST_F(MainFormTest, StartUpWithMonitoringOffSaysSo) {
  program().settings.Monitoring = false;
  form_->Start(false);
  EXPECT_EQ(Panel(1), "Not monitoring");
  EXPECT_FALSE(audio_->open);
  // The rule set was not empty, so no default rules were added.
  EXPECT_EQ(program().rules.Count(), 1);
  ASSERT_EQ(Child<QTreeView>("Terminals")->model()->rowCount(), 1);
  EXPECT_EQ(*form_->SelectedTerminal(), "<all>");
}

TEST_F(MainFormTest, PollsDecodeIntoThePanelsAndWarmUpBeforeComplaining) {
  Start();
  for (int poll = 1; poll <= 10; ++poll) {
    audio_->Fill(1, 0);
    program().monitoring.Timer_Timer();
  }
  EXPECT_EQ(Panel(1), "Unable to decode audio or no audio detected, check data source settings.");
  program().StatusTick();
  EXPECT_EQ(Panel(1), "Monitoring");
  audio_->Fill(10, 128);
  program().monitoring.Timer_Timer();
  EXPECT_EQ(program().acquisition.Buffers().Completed(), 0);
}

TEST_F(MainFormTest, ClearAllLeavesOnlyAllSelectedAndAnEmptyDisplay) {
  Start();
  Receive(0x1234, "FIRST MESSAGE");
  Receive(0x0042, "SECOND MESSAGE");
  auto* terminals = Child<QTreeView>("Terminals");
  ASSERT_EQ(terminals->model()->rowCount(), 3);
  EXPECT_FALSE(Mdt().isEmpty());
  EXPECT_EQ(program().messages_list.Count(), 2);
  Action("ClearAllMenuItem")->trigger();
  ASSERT_EQ(terminals->model()->rowCount(), 1);
  EXPECT_EQ(terminals->model()->index(0, 0).data().toString(), "<all>");
  EXPECT_EQ(*form_->SelectedTerminal(), "<all>");
  EXPECT_TRUE(Mdt().isEmpty());
  EXPECT_EQ(program().messages_list.Count(), 0);
  EXPECT_EQ(program().traffic.Retrieve("<all>"), "");
  // A terminal heard again is listed again.
  Receive(0x1234, "THIRD MESSAGE");
  EXPECT_EQ(terminals->model()->rowCount(), 2);
}

TEST_F(MainFormTest, ReversePolarityFollowsTheSource) {
  Start();
  Action("ReversePolarityMenuItem")->trigger();
  EXPECT_TRUE(Action("ReversePolarityMenuItem")->isChecked());
  EXPECT_TRUE(program().settings.ReversePolarity);
  EXPECT_EQ(program().acquisition.AboveSymbol(), '0');
  EXPECT_TRUE(program().settings.SettingsChanged);

  program().settings.SieveSource = kSieveSourceCOMPort;
  Action("ReversePolarityMenuItem")->trigger();
  EXPECT_TRUE(program().settings.COMPortReversePolarity);
  EXPECT_TRUE(program().settings.ReversePolarity);

  program().settings.SieveSource = kSieveSourceNetwork;
  const bool checked = Action("ReversePolarityMenuItem")->isChecked();
  Action("ReversePolarityMenuItem")->trigger();
  EXPECT_NE(Action("ReversePolarityMenuItem")->isChecked(), checked);
  EXPECT_TRUE(program().settings.COMPortReversePolarity);
}

struct ExitAnswer {
  MessageBoxes::Answer answer;
  bool exits;
  bool settings_saved;
};

class ExitSequenceTest : public MainFormTest, public testing::WithParamInterface<ExitAnswer> {};

TEST_P(ExitSequenceTest, TheSaveQuestionDecides) {
  const std::string path = scratch_.Path("k.ini");
  program().settings.CurrentProfile = path;
  program().settings.AutoSave = false;
  program().settings.Monitoring = false;
  form_->Start(false);
  program().settings.MDTColumns = 61;
  program().settings.SettingsChanged = true;
  boxes_.answer = GetParam().answer;
  // A second close while the question is up starts no second exit.
  boxes_.during_question = [this] { form_->close(); };
  form_->close();
  ASSERT_EQ(boxes_.shown.size(), 1u);
  EXPECT_EQ(boxes_.shown[0].first, "Settings have changed, save to current profile?");
  EXPECT_EQ(form_->isVisible(), !GetParam().exits);
  EXPECT_EQ(ReadIniString("Settings", "MDTColumns", path) == "61", GetParam().settings_saved);
}

std::string ExitAnswerName(const testing::TestParamInfo<ExitAnswer>& info) {
  switch (info.param.answer) {
    case MessageBoxes::Answer::kYes:
      return "Yes";
    case MessageBoxes::Answer::kNo:
      return "No";
    default:
      return "Cancel";
  }
}

INSTANTIATE_TEST_SUITE_P(Answers, ExitSequenceTest,
                         testing::Values(ExitAnswer{MessageBoxes::Answer::kYes, true, true},
                                         ExitAnswer{MessageBoxes::Answer::kNo, true, false},
                                         ExitAnswer{MessageBoxes::Answer::kCancel, false, false}),
                         ExitAnswerName);

TEST_F(MainFormTest, ASignalEndsWithoutAskingAndStopsTheSource) {
  const std::string path = scratch_.Path("k.ini");
  program().settings.CurrentProfile = path;
  program().settings.AutoSave = false;
  Start();
  program().settings.SettingsChanged = true;
  program().rules.SetChanged(true);
  EXPECT_TRUE(form_->ExitSequence(false));
  EXPECT_TRUE(boxes_.shown.empty());
  EXPECT_FALSE(audio_->open);
  EXPECT_FALSE(std::filesystem::exists(RulesFilePath(path)));
  EXPECT_FALSE(form_->ExitSequence(false));  // only once
}

TEST_F(MainFormTest, AMessagesRowHoldsTheDisplayUntilATerminalIsClicked) {
  Start();
  Receive(0x1234, "FIRST MESSAGE");
  Receive(0x0042, "SECOND MESSAGE");
  ClickRow("Messages", 0);
  EXPECT_EQ(Mdt(), "Terminal: 1234\n\nFIRST MESSAGE");
  EXPECT_TRUE(form_->MDTShowsMessage());
  EXPECT_FALSE(form_->SelectedTerminal().has_value());
  Receive(0x0042, "THIRD MESSAGE");
  EXPECT_EQ(Mdt(), "Terminal: 1234\n\nFIRST MESSAGE");
  ClickRow("Terminals", 1);
  EXPECT_FALSE(form_->MDTShowsMessage());
  EXPECT_TRUE(Mdt().contains("FIRST MESSAGE"));
  EXPECT_FALSE(Mdt().contains("THIRD"));
  EXPECT_FALSE(form_->SelectedMessagesRow().has_value());
}

TEST_F(MainFormTest, DeletingRowsSelectsTheNextAndTheLastGivesTrafficBack) {
  Start();
  Receive(0x1234, "FIRST MESSAGE");
  Receive(0x0042, "SECOND MESSAGE");
  Receive(0x0043, "LAST MESSAGE");
  ClickRow("Messages", 1);
  auto* messages = Child<QTreeView>("Messages");
  QTest::keyClick(messages, Qt::Key_Delete);
  EXPECT_EQ(program().messages_list.Count(), 2);
  EXPECT_EQ(Mdt(), "Terminal: 0043\n\nLAST MESSAGE");
  QTest::keyClick(messages, Qt::Key_Delete);  // the last row: the one before takes its place
  EXPECT_EQ(Mdt(), "Terminal: 1234\n\nFIRST MESSAGE");
  QTest::keyClick(messages, Qt::Key_Delete);
  EXPECT_EQ(program().messages_list.Count(), 0);
  // No row is left: the Terminals list's selection ("<all>" after the messages row cleared it,
  // the first row) fills the display again.
  EXPECT_TRUE(Mdt().contains("LAST MESSAGE"));
  EXPECT_TRUE(Mdt().contains("FIRST MESSAGE"));
}

TEST_F(MainFormTest, DetailsWindowNavigatesTheMessagesRows) {
  Start();
  program().aliases.Assign("0042", "Unit 7");
  Receive(0x1234, "FIRST MESSAGE");
  Receive(0x0042, "SECOND MESSAGE");
  ClickRow("Messages", 0);
  QTest::keyClick(Child<QTreeView>("Messages"), Qt::Key_Return);
  QWidget* details = TopLevel("MessageDetails");
  ASSERT_NE(details, nullptr);
  EXPECT_TRUE(form_->MessageDetailsOpen());
  auto text = [&] { return details->findChild<QPlainTextEdit*>("Message")->toPlainText(); };
  auto terminal = [&] { return details->findChild<QLabel*>("Terminal")->text(); };
  EXPECT_EQ(text(), "FIRST MESSAGE");
  EXPECT_EQ(details->findChild<QLabel*>("MessageType")->text(), "Logged");
  details->findChild<QPushButton*>("PreviousButton")->click();  // first row: nothing changes
  EXPECT_EQ(text(), "FIRST MESSAGE");
  details->findChild<QPushButton*>("NextButton")->click();
  EXPECT_EQ(text(), "SECOND MESSAGE");
  EXPECT_EQ(terminal(), "0042 (Unit 7)");
  EXPECT_EQ(*form_->SelectedMessagesRow(), program().messages_list.Rows()[1].tag);
  details->findChild<QPushButton*>("NextButton")->click();  // last row
  EXPECT_EQ(text(), "SECOND MESSAGE");
  details->findChild<QPushButton*>("CloseButton")->click();
  EXPECT_FALSE(form_->MessageDetailsOpen());
}

TEST_F(MainFormTest, AnAlertFillsMovesToDetailsAndClears) {
  Start();
  Rule alert;
  alert.Name = "Alarm";
  alert.Active = true;
  alert.MessageBody = "*FIRE*";
  alert.Alert = true;
  program().rules.Append(alert);
  Receive(0x1234, "STRUCTURE FIRE AT MAIN ST");
  QWidget* window = TopLevel("Alert");
  ASSERT_NE(window, nullptr);
  EXPECT_EQ(window->windowTitle(), "Alarm");
  EXPECT_TRUE(program().rule_processing.AlertShown());
  window->findChild<QPushButton*>("TrafficButton")->click();
  EXPECT_EQ(window->windowTitle(), "Traffic to 1234");
  window->findChild<QPushButton*>("MoveButton")->click();
  QApplication::processEvents();
  EXPECT_EQ(TopLevel("Alert"), nullptr);
  EXPECT_FALSE(program().rule_processing.AlertShown());
  QWidget* details = TopLevel("MessageDetails");
  ASSERT_NE(details, nullptr);
  EXPECT_EQ(details->findChild<QLabel*>("Terminal")->text(), "1234");
}

TEST_F(MainFormTest, RawDataShowsRecordsInHex) {
  Start();
  Action("RawDataMenuItem")->trigger();
  QWidget* form = TopLevel("RawDataForm");
  ASSERT_NE(form, nullptr);
  EXPECT_TRUE(Action("RawDataMenuItem")->isChecked());
  form->findChild<QAction*>("DisplayHexMenuItem")->trigger();
  EXPECT_TRUE(program().raw_data.Hex());
  Receive(0x1234, "HEX");
  QApplication::processEvents();
  const QString text = form->findChild<QPlainTextEdit*>("RawData")->toPlainText();
  EXPECT_TRUE(text.startsWith("\n75 C0 12 34 ")) << text.toStdString();
  form->close();
  QApplication::processEvents();
  EXPECT_FALSE(Action("RawDataMenuItem")->isChecked());
  EXPECT_FALSE(program().raw_data.Open());
}

TEST_F(MainFormTest, CaptureToAFileAndItsFailures) {
  Start();
  answer_path_ = scratch_.Path("capture.txt");
  Action("CaptureToFileMenuItem")->trigger();
  EXPECT_EQ(asked_, std::vector<std::string>{"Capture To File"});
  EXPECT_FALSE(Action("CaptureMenuItem")->isEnabled());
  EXPECT_TRUE(Action("StopCapturingMenuItem")->isEnabled());
  Receive(0x1234, "CAPTURED MESSAGE");
  program().StatusTick();
  EXPECT_EQ(Panel(1), "Monitoring/Capturing");
  Action("StopCapturingMenuItem")->trigger();
  EXPECT_TRUE(Action("CaptureMenuItem")->isEnabled());
  EXPECT_EQ(Panel(1), "Monitoring");
  std::ifstream file(answer_path_, std::ios::binary);
  std::stringstream content;
  content << file.rdbuf();
  EXPECT_TRUE(content.str().starts_with("Terminal: 1234\r\n\r\nCAPTURED MESSAGE\r\n"));

  answer_path_ = scratch_.Path("missing/capture.txt");
  Action("CaptureToFileMenuItem")->trigger();
  ASSERT_EQ(boxes_.shown.size(), 1u);
  EXPECT_EQ(boxes_.shown[0].second, "Error Capturing Data");
  EXPECT_TRUE(Action("CaptureMenuItem")->isEnabled());
  EXPECT_FALSE(Action("StopCapturingMenuItem")->isEnabled());

  // A disk that fills up: reported once, as the record that hit it arrives.
  answer_path_ = "/dev/full";
  Action("CaptureToFileMenuItem")->trigger();
  Receive(0x1234, "LOST MESSAGE");
  Receive(0x1234, "ANOTHER LOST ONE");
  ASSERT_EQ(boxes_.shown.size(), 2u);
  EXPECT_EQ(boxes_.shown[1].second, "Error Capturing Data");
  EXPECT_TRUE(boxes_.shown[1].first.starts_with("Unable to write to capture file.\r\n\r\n"));
}

TEST_F(MainFormTest, SplittersAreClampedInTwips) {
  program().settings.Monitoring = false;
  form_->resize(800, 600);
  form_->Start(false);
  const double dpi = form_->screen()->logicalDotsPerInchX();
  const double inner_width = PixelsToTwips(form_->centralWidget()->width(), dpi);
  const double inner_height = PixelsToTwips(form_->centralWidget()->height(), dpi);
  form_->MoveVerticalSplitter(0);
  EXPECT_EQ(program().settings.VerticalSplitter, 135);
  form_->MoveVerticalSplitter(1e6);
  EXPECT_DOUBLE_EQ(program().settings.VerticalSplitter, inner_width - 600);
  form_->MoveHorizontalSplitter(0);
  EXPECT_EQ(program().settings.HorizontalSplitter, 30);
  form_->MoveHorizontalSplitter(1e6);
  EXPECT_DOUBLE_EQ(program().settings.HorizontalSplitter, inner_height - 750);

  // A drag to the far left by the mouse stops at the same place.
  auto* bar = Child<QWidget>("VerticalSplitter");
  QTest::mousePress(bar, Qt::LeftButton, {}, QPoint(2, 10));
  QMouseEvent move(QEvent::MouseMove, QPointF(-2000, 10), bar->mapToGlobal(QPointF(-2000, 10)),
                   Qt::NoButton, Qt::LeftButton, {});
  QApplication::sendEvent(bar, &move);
  QTest::mouseRelease(bar, Qt::LeftButton, {}, QPoint(-2000, 10));
  EXPECT_EQ(program().settings.VerticalSplitter, 135);
  EXPECT_EQ(bar->x(), TwipsToPixels(135, dpi));
}

TEST_F(MainFormTest, SelectAllEnablesCopy) {
  Start();
  EXPECT_FALSE(Action("EditCopyMenuItem")->isEnabled());
  Receive(0x1234, "SOMETHING TO COPY");
  Action("EditSelectAllMenuItem")->trigger();
  EXPECT_TRUE(Action("EditCopyMenuItem")->isEnabled());
}

TEST_F(MainFormTest, AnalyzeSignalDrawsTheNextBlockAndRestartsTheSearch) {
  Start();
  for (int poll = 0; poll < 10; ++poll) {
    audio_->Fill(1, 128);
    program().monitoring.Timer_Timer();
  }
  ASSERT_EQ(program().acquisition.WarmUpCount(), 10);
  Action("AnalyzeSignalMenuItem")->trigger();
  QWidget* status = TopLevel("Status");
  ASSERT_NE(status, nullptr);
  EXPECT_EQ(status->windowTitle(), "Please wait...");
  std::vector<uint8_t> block(AudioBuffers::kSize);
  for (size_t i = 0; i < block.size(); ++i) block[i] = (i / 9) % 2 ? 88 : 168;
  audio_->Write(block);
  program().monitoring.Timer_Timer();
  QApplication::processEvents();
  QWidget* analysis = TopLevel("Analysis");
  ASSERT_NE(analysis, nullptr);
  EXPECT_TRUE(analysis->findChild<QLabel*>("ExplainLabel")->text().contains("9.19 samples"));
  EXPECT_EQ(TopLevel("Status"), nullptr);
  EXPECT_EQ(program().acquisition.WarmUpCount(), 0);
  EXPECT_EQ(Panel(1), "Monitoring");
  EXPECT_FALSE(program().acquisition.CaptureRequested());

  Action("stop")->trigger();
  analysis->findChild<QPushButton*>("RefreshButton")->click();
  ASSERT_EQ(boxes_.shown.size(), 1u);
  EXPECT_EQ(boxes_.shown[0].first,
            "Not currently monitoring, must be monitoring to analyze signal.");
}

TEST_F(MainFormTest, OptionsFromTheMenuWidenTheMDTDisplayWithoutRestartingMonitoring) {
  Start();
  const int width_before = Child<QPlainTextEdit>("MDT")->width();
  // The dialog is modal: answer it from inside its own event loop.
  QTimer::singleShot(0, [] {
    QWidget* options = QApplication::activeModalWidget();
    ASSERT_NE(options, nullptr);
    ASSERT_EQ(options->objectName(), "OptionsForm");
    auto* cols = options->findChild<QLineEdit*>("Cols");
    ASSERT_NE(cols, nullptr);
    cols->setText("90");
    options->findChild<QPushButton*>("cmdOK")->click();
  });
  Action("OptionsMenuItem")->trigger();
  EXPECT_EQ(program().settings.MDTColumns, 90);
  EXPECT_TRUE(program().settings.SettingsChanged);
  EXPECT_EQ(audio_->opens, 1) << "not a data-source change";
  EXPECT_GE(Child<QPlainTextEdit>("MDT")->width(), width_before);
  const QFontMetrics metrics(Child<QPlainTextEdit>("MDT")->font());
  EXPECT_GE(Child<QPlainTextEdit>("MDT")->width(), metrics.horizontalAdvance(QString(90, 'W')));
}

// Answers the next modal dialog from inside its event loop.
void Answer(const char* name, std::function<void(QWidget*)> fill) {
  QTimer::singleShot(0, [name, fill] {
    QWidget* dialog = QApplication::activeModalWidget();
    ASSERT_NE(dialog, nullptr) << name;
    ASSERT_EQ(dialog->objectName().toStdString(), name);
    fill(dialog);
  });
}

void Type(QWidget* dialog, const char* field, const QString& text) {
  auto* edit = dialog->findChild<QLineEdit*>(field);
  ASSERT_NE(edit, nullptr) << field;
  edit->setText(text);
}

TEST_F(MainFormTest, MailStatusShowsInItsWindowAndThePanelsToolTip) {
  Start();
  Action("MailStatusMenuItem")->trigger();
  EXPECT_NE(TopLevel("frmMailStatus"), nullptr);
  EXPECT_EQ(Child<QLabel>("StatusPanel1")->toolTip(),
            QString::fromStdString(program().email.StatusText()));
  EXPECT_TRUE(Child<QLabel>("StatusPanel1")->toolTip().startsWith("E-mail: 0 sent"));
}

// The desktop program runs the outputs the profile asks for, as the station does.
TEST_F(MainFormTest, AProfilesOutputsRunAndShowInTheOutputsWindow) {
  Start();
  Action("OutputsMenuItem")->trigger();
  QWidget* window = TopLevel("frmOutputs");
  ASSERT_NE(window, nullptr);
  auto* list = window->findChild<QAbstractItemView*>("OutputsList");
  ASSERT_NE(list, nullptr);
  EXPECT_EQ(list->model()->rowCount(), 0);

  const std::string folder = scratch_.Path("events");
  std::filesystem::create_directory(folder);
  answer_path_ = scratch_.Path("station.ini");
  std::ofstream(answer_path_) << "[Settings]\nVersion=1.6.1\nMonitoring=False\n"
                              << "[Outputs]\nStationName=desk\nFileOutput=True\nFileFolder="
                              << folder << "\n";
  Action("LoadProfileMenuItem")->trigger();
  ASSERT_TRUE(boxes_.shown.empty()) << boxes_.shown[0].first;
  Receive(0x1234, "TO THE FILE");
  static_cast<OutputsWindow*>(window)->Refresh();
  ASSERT_EQ(list->model()->rowCount(), 1);
  EXPECT_EQ(list->model()->index(0, 0).data().toString(), "File");
  EXPECT_GT(program().station.EventCount(), 0u);
  const auto files = std::distance(std::filesystem::directory_iterator(folder),
                                   std::filesystem::directory_iterator());
  EXPECT_EQ(files, 1);
}

TEST_F(MainFormTest, ProfileLoadsAndSavesSayWhyTheyFailedAndLogIt) {
  std::vector<std::string> logged;
  ScopedProgramLogSink sink([&logged](const std::string& line) { logged.push_back(line); });
  answer_path_ = scratch_.Path("");
  Action("LoadProfileMenuItem")->trigger();
  ASSERT_EQ(boxes_.shown.size(), 1u);
  EXPECT_EQ(boxes_.shown[0].first, "Unable to load profile " + answer_path_ + ": is a directory");
  EXPECT_EQ(boxes_.shown[0].second, "Error Loading Profile");
  EXPECT_EQ(logged, std::vector<std::string>{boxes_.shown[0].first});

  // A value the loader ignores is logged, and the load goes on.
  logged.clear();
  answer_path_ = scratch_.Path("odd.ini");
  std::ofstream(answer_path_) << "[Settings]\nVersion=1.6.1\nMDTColumns=-5\n";
  Action("LoadProfileMenuItem")->trigger();
  EXPECT_EQ(boxes_.shown.size(), 1u);
  ASSERT_EQ(logged.size(), 1u);
  EXPECT_NE(logged[0].find("MDTColumns=-5"), std::string::npos) << logged[0];

  answer_path_ = scratch_.Path("missing/saved.ini");
  Action("SaveProfileAsMenuItem")->trigger();
  ASSERT_EQ(boxes_.shown.size(), 2u);
  EXPECT_EQ(boxes_.shown[1].second, "Error Saving Profile");
  EXPECT_TRUE(
      boxes_.shown[1].first.starts_with("Unable to save profile to " + answer_path_ + "\n\n"))
      << boxes_.shown[1].first;
  EXPECT_GT(boxes_.shown[1].first.size(), ("Unable to save profile to " + answer_path_).size() + 2);
}

TEST_F(MainFormTest, ChangesMadeInTheDialogsSurviveASaveAndAFreshStart) {
  const std::string path = scratch_.Path("setup.ini");
  {
    Stores original;
    original.settings.MDTColumns = 44;
    original.settings.ServerPort = 4990;
    original.aliases.Assign("0042", "Old name");
    original.aliases.SetChanged(true);
    original.rules.AddDefaultRules();
    original.rules.SetChanged(true);
    ASSERT_TRUE(SaveProfile(path, true, original.get()));
  }
  const std::string aliases_before =
      ReadIniString("TerminalAliases", "Alias1", AliasesFilePath(path));
  ASSERT_EQ(aliases_before, "Old name");
  program().rules.Clear();
  ASSERT_TRUE(LoadProfile(path, program().Stores()));
  program().settings.Monitoring = false;
  form_->Start(false);

  // An option: the MDT display's width.
  Answer("OptionsForm", [](QWidget* d) {
    Type(d, "Cols", "72");
    d->findChild<QPushButton*>("cmdOK")->click();
  });
  Action("OptionsMenuItem")->trigger();
  // An alias: a new terminal's (the dialog is modal to the window, not a blocking call).
  Action("TerminalAliasMenuItem")->trigger();
  QWidget* assign = TopLevel("AssignAlias");
  ASSERT_NE(assign, nullptr);
  Type(assign, "Terminal", "1234");
  Type(assign, "Alias", "Engine 9");
  assign->findChild<QPushButton*>("OKButton")->click();
  ASSERT_EQ(Child<QTreeView>("Terminals")->model()->rowCount(), 1)
      << "no row for an unheard terminal";
  // A rule: the second default rule's body.
  Action("ConfigureRulesMenuItem")->trigger();
  QWidget* rules = TopLevel("RulesConfigure");
  ASSERT_NE(rules, nullptr);
  auto* list = rules->findChild<QAbstractItemView*>("RulesListbox");
  ASSERT_NE(list, nullptr);
  list->setCurrentIndex(list->model()->index(1, 0));
  Answer("RuleEdit", [](QWidget* d) {
    Type(d, "MessageBody", "*DISPATCH*FIRE*");
    d->findChild<QPushButton*>("OkButton")->click();
  });
  rules->findChild<QPushButton*>("EditButton")->click();
  rules->close();
  Action("SaveProfileMenuItem")->trigger();
  EXPECT_TRUE(boxes_.shown.empty()) << boxes_.shown[0].first;

  Stores reloaded;
  ASSERT_TRUE(LoadProfile(path, reloaded.get()));
  EXPECT_EQ(reloaded.settings.MDTColumns, 72);
  EXPECT_EQ(reloaded.settings.ServerPort, 4990);
  EXPECT_EQ(reloaded.aliases.Alias("1234"), "Engine 9");
  EXPECT_EQ(reloaded.aliases.Alias("0042"), "Old name");
  ASSERT_EQ(reloaded.rules.Count(), 2);
  EXPECT_EQ(reloaded.rules.At(2)->MessageBody, "*DISPATCH*FIRE*");
  EXPECT_EQ(reloaded.rules.At(1)->MessageBody, "*message*");
  // Nothing else: the rest of the settings are what the program had, window places aside.
  Settings expected = program().settings;
  Settings got = reloaded.settings;
  for (Settings* s : {&expected, &got}) {
    s->CurrentProfile.clear();
    s->SettingsChanged = false;
  }
  EXPECT_EQ(got, expected);
}

TEST_F(MainFormTest, HoldFreezesTheDisplayUntilReleased) {
  Start();
  Receive(0x1234, "BEFORE HOLD");
  Action("hold")->trigger();
  EXPECT_TRUE(Action("HoldMDTMenuItem")->isChecked());
  EXPECT_TRUE(Action("HoldMDTMenuItem2")->isChecked());
  Receive(0x1234, "DURING HOLD");
  EXPECT_FALSE(Mdt().contains("DURING HOLD"));
  Action("HoldMDTMenuItem")->trigger();
  EXPECT_FALSE(Action("hold")->isChecked());
  EXPECT_TRUE(Mdt().contains("DURING HOLD"));
}

}  // namespace
}  // namespace kestrel
