#include "app/profile/options_dialog.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QStackedWidget>
#include <QTabBar>
#include <QTest>
#include <memory>
#include <string>
#include <vector>

#include "ui_test_support.h"

namespace kestrel {
namespace {

using kestrel_test::Find;

struct CountingHost : OptionsHost {
  explicit CountingHost(Settings& s) : settings(s) {}
  void ApplyAlwaysOnTop(bool on) override { top = on; }
  void StopMonitoring() override {
    ++stops;
    settings.Monitoring = false;
  }
  void StartMonitoring() override {
    ++starts;
    settings.Monitoring = true;
  }
  void ApplyPolarity(bool reversed) override { polarity.push_back(reversed); }
  void ApplySettingsToWindows() override { ++windows; }
  void ApplyMdtFont() override { ++fonts; }

  Settings& settings;
  bool top = false;
  int stops = 0;
  int starts = 0;
  int windows = 0;
  int fonts = 0;
  std::vector<bool> polarity;
};

class OptionsDialogTest : public ::testing::Test {
 protected:
  OptionsDialogTest() { settings.ServerAddress = "127.0.0.1"; }

  OptionsForm& Open(OptionsPlatform platform = {}) {
    form = std::make_unique<OptionsForm>(
        OptionsDialogServices{
            .settings = settings,
            .boxes = boxes,
            .host = host,
            .choose_colour = [this](const QColor& current, QWidget*) -> std::optional<QColor> {
              offered_colour = current;
              return next_colour;
            },
            .choose_font = [this](const QFont& current, QWidget*) -> std::optional<QFont> {
              offered_font = current;
              return next_font;
            },
            .audio_inputs = {{"alsa-1", "Built-in Audio"}, {"usb-7", "USB Microphone"}},
            .serial_ports = {"/dev/ttyUSB0", "/dev/ttyACM0"},
            .platform = platform},
        nullptr);
    form->show();
    return *form;
  }
  template <class T>
  T* Control(const char* name) {
    return Find<T>(form.get(), name);
  }
  void Click(const char* name) { Control<QAbstractButton>(name)->click(); }
  void SetText(const char* name, const char* text) { Control<QLineEdit>(name)->setText(text); }
  std::vector<std::string> Messages() const {
    std::vector<std::string> texts;
    for (const auto& shown : boxes.shown) texts.push_back(shown.text);
    return texts;
  }

  Settings settings;
  RecordingMessageBoxes boxes;
  CountingHost host{settings};
  std::optional<QColor> next_colour;
  std::optional<QFont> next_font;
  QColor offered_colour;
  QFont offered_font;
  std::unique_ptr<OptionsForm> form;
};

TEST_F(OptionsDialogTest, TabsPagesAndButtonsAsNamed) {
  Open();
  EXPECT_EQ(form->windowTitle(), "Options");
  auto* tabs = Control<QTabBar>("tbsOptions");
  ASSERT_EQ(tabs->count(), 4);
  EXPECT_EQ(tabs->tabText(0), "General");
  EXPECT_EQ(tabs->tabText(1), "Windows");
  EXPECT_EQ(tabs->tabText(2), "Data Source");
  EXPECT_EQ(tabs->tabText(3), "MDT Data");
  EXPECT_EQ(form->findChildren<QWidget*>("picOptions").size(), 4);
  EXPECT_EQ(Control<QPushButton>("DefaultButton")->text(), "Set to Defaults");
  EXPECT_EQ(Control<QPushButton>("cmdOK")->text(), "OK");
  EXPECT_EQ(Control<QPushButton>("cmdCancel")->text(), "Cancel");
  EXPECT_EQ(Control<QPushButton>("cmdApply")->text(), "Apply");
  EXPECT_EQ(Control<QCheckBox>("AlwaysOnTopCheckbox")->text(), "Keep Kestrel always on top");
  EXPECT_EQ(Control<QRadioButton>("DataSourceRM100")->text(), "COM Port");
  EXPECT_EQ(Control<QRadioButton>("COMDeviceRM100")->text(), "RM100 Decoder");
  for (const char* name : {"SMTPMailServerTextBox", "Cols", "NumberMessagesBox", "Address", "Port",
                           "AddressStartBox", "AddressEndBox"}) {
    Control<QLineEdit>(name);
  }
  for (const char* name :
       {"MDTForeground", "MDTBackground", "MessagesForeground", "MessagesBackground",
        "TerminalsForeground", "TerminalsBackground", "MDTFontButton"}) {
    Control<QPushButton>(name);
  }
}

TEST_F(OptionsDialogTest, LoadFillsTheControls) {
  settings.SieveSource = kSieveSourceCOMPort;
  settings.COMPortNumber = 3;
  settings.SamplingRate = 22050;
  settings.MDTColumns = 64;
  settings.ServerPort = 990;
  settings.COMPortName = "/dev/ttyACM0";
  Open();
  EXPECT_TRUE(Control<QRadioButton>("DataSourceRM100")->isChecked());
  EXPECT_EQ(Control<QComboBox>("COMPort")->currentText(), "COM3");
  EXPECT_EQ(Control<QComboBox>("SamplingRate")->currentText(), "22050");
  EXPECT_EQ(Control<QLineEdit>("Cols")->text(), "64");
  EXPECT_EQ(Control<QLineEdit>("Port")->text(), "990");
  EXPECT_EQ(Control<QComboBox>("COMPortName")->currentText(), "/dev/ttyACM0");
  EXPECT_FALSE(Control<QComboBox>("SamplingRate")->isEnabled());
  EXPECT_TRUE(Control<QComboBox>("COMPort")->isEnabled());
  EXPECT_TRUE(Control<QRadioButton>("COMDeviceDataSlicer")->isEnabled());
}

TEST_F(OptionsDialogTest, StartByteAfterEndByteKeepsTheDialogOpen) {
  Open();
  Click("AlwaysOnTopCheckbox");
  SetText("AddressStartBox", "5");
  SetText("AddressEndBox", "4");
  SetText("SMTPMailServerTextBox", "mail.example");
  Click("cmdOK");
  EXPECT_TRUE(form->isVisible());
  EXPECT_EQ(Messages(), std::vector<std::string>{std::string(kAddressBytesMessage)});
  EXPECT_EQ(boxes.shown[0].icon, MessageBoxes::Icon::kExclamation);
  EXPECT_TRUE(settings.AlwaysOnTop);
  EXPECT_TRUE(host.top);
  EXPECT_TRUE(form->windowFlags().testFlag(Qt::WindowStaysOnTopHint));
  EXPECT_EQ(settings.SMTPMailServer, "");
  EXPECT_TRUE(settings.SettingsChanged);
}

TEST_F(OptionsDialogTest, ColumnsZeroOrEmptyAreRefused) {
  Open();
  for (const char* cols : {"0", ""}) {
    SetText("Cols", cols);
    EXPECT_FALSE(form->Apply());
  }
  EXPECT_EQ(Messages(), std::vector<std::string>(2, std::string(kColumnsMessage)));
  SetText("Cols", "1");
  EXPECT_TRUE(form->Apply());
  EXPECT_EQ(settings.MDTColumns, 1);
  EXPECT_EQ(host.windows, 1);
}

TEST_F(OptionsDialogTest, NumberBoxesTakeDigitsOnly) {
  Open();
  auto* cols = Control<QLineEdit>("Cols");
  cols->clear();
  QTest::keyClicks(cols, "-1a23456");
  EXPECT_EQ(cols->text(), "12345");
}

TEST_F(OptionsDialogTest, NetworkWithoutAddressRefusesTheTabChange) {
  settings.ServerAddress = "";
  Open();
  auto* tabs = Control<QTabBar>("tbsOptions");
  tabs->setCurrentIndex(2);
  Click("DataSourceNetwork");
  tabs->setCurrentIndex(3);
  EXPECT_EQ(tabs->currentIndex(), 2);
  EXPECT_TRUE(Control<QLineEdit>("Address")->isVisible());
  EXPECT_FALSE(Control<QLineEdit>("AddressStartBox")->isVisible());
  EXPECT_EQ(Messages(), std::vector<std::string>{std::string(kNetworkMessage)});
  SetText("Address", "127.0.0.1");
  tabs->setCurrentIndex(3);
  EXPECT_EQ(tabs->currentIndex(), 3);
  EXPECT_TRUE(Control<QLineEdit>("AddressStartBox")->isVisible());
  EXPECT_EQ(boxes.shown.size(), 1u);
}

TEST_F(OptionsDialogTest, CtrlTabSelectsTheNextTabAndWraps) {
  Open();
  QApplication::setActiveWindow(form.get());
  auto* tabs = Control<QTabBar>("tbsOptions");
  tabs->setCurrentIndex(3);
  QTest::keyClick(form.get(), Qt::Key_Tab, Qt::ControlModifier);
  EXPECT_EQ(tabs->currentIndex(), 0);
  QTest::keyClick(form.get(), Qt::Key_Tab, Qt::ControlModifier);
  EXPECT_EQ(tabs->currentIndex(), 1);
}

TEST_F(OptionsDialogTest, AColourOnlyOkClosesWithoutRestartingMonitoring) {
  settings.Monitoring = true;
  Open();
  next_colour = QColor(0x12, 0x34, 0x56);
  Click("MessagesBackground");
  EXPECT_EQ(offered_colour, QColor(Qt::white));
  EXPECT_EQ(settings.MessagesBackground, 0xFFFFFF);  // nothing before OK
  Click("cmdOK");
  EXPECT_FALSE(form->isVisible());
  EXPECT_EQ(form->result(), QDialog::Accepted);
  EXPECT_EQ(settings.MessagesBackground, 0x563412);
  EXPECT_EQ(host.stops, 0);
  EXPECT_EQ(host.starts, 0);
  EXPECT_EQ(host.windows, 1);
}

TEST_F(OptionsDialogTest, ACancelledColourLeavesTheBox) {
  Open();
  next_colour = std::nullopt;
  Click("MDTForeground");
  EXPECT_EQ(offered_colour, QColor(0, 255, 0));
  EXPECT_EQ(form->Values().mdt_foreground, 0x00FF00);
}

TEST_F(OptionsDialogTest, AComPortChangeRestartsMonitoring) {
  settings.SieveSource = kSieveSourceCOMPort;
  settings.COMPortNumber = 1;
  settings.Monitoring = true;
  Open();
  Control<QComboBox>("COMPort")->setCurrentText("COM2");
  Click("cmdOK");
  EXPECT_EQ(settings.COMPortNumber, 2);
  EXPECT_EQ(host.stops, 1);
  EXPECT_EQ(host.starts, 1);
  EXPECT_TRUE(settings.Monitoring);
}

TEST_F(OptionsDialogTest, TheDecoderChoiceAppliesWithoutRestartingMonitoring) {
  settings.Monitoring = true;
  Open();
  auto* decoder = Control<QComboBox>("DecoderMode");
  EXPECT_EQ(decoder->currentData().toInt(), kDecoderModeRobust);
  decoder->setCurrentIndex(decoder->findData(kDecoderModeExact));
  Click("cmdOK");
  EXPECT_EQ(settings.DecoderMode, kDecoderModeExact);
  EXPECT_EQ(host.stops, 0);

  Open();
  EXPECT_EQ(Control<QComboBox>("DecoderMode")->currentData().toInt(), kDecoderModeExact);
}

TEST_F(OptionsDialogTest, TheDeviceListsOfferTheSystemsDevices) {
  settings.Monitoring = true;
  settings.AudioInputDevice = "usb-7";
  Open();
  auto* inputs = Control<QComboBox>("AudioInputDevice");
  ASSERT_EQ(inputs->count(), 3);
  EXPECT_EQ(inputs->itemText(0), "System default");
  EXPECT_EQ(inputs->itemText(1), "Built-in Audio");
  EXPECT_EQ(inputs->currentText(), "USB Microphone");
  auto* ports = Control<QComboBox>("COMPortName");
  ASSERT_EQ(ports->count(), 3);
  EXPECT_EQ(ports->itemText(0), "");
  EXPECT_EQ(ports->itemText(1), "/dev/ttyUSB0");
  EXPECT_TRUE(ports->isEditable());
  EXPECT_EQ(ports->currentText(), "");

  inputs->setCurrentIndex(0);
  ports->setCurrentText("/dev/ttyACM0");
  EXPECT_TRUE(form->Apply());
  EXPECT_EQ(settings.AudioInputDevice, "");
  EXPECT_EQ(settings.COMPortName, "/dev/ttyACM0");
  EXPECT_EQ(host.stops, 1);
  EXPECT_EQ(host.starts, 1);
}

TEST_F(OptionsDialogTest, AnInputThatIsGoneKeepsItsId) {
  settings.AudioInputDevice = "gone-3";
  Open();
  EXPECT_EQ(Control<QComboBox>("AudioInputDevice")->currentText(), "gone-3");
  EXPECT_TRUE(form->Apply());
  EXPECT_EQ(settings.AudioInputDevice, "gone-3");
  EXPECT_EQ(host.stops, 0);
}

TEST_F(OptionsDialogTest, SourceOptionsEnableTheirControls) {
  Open({.slicer_available = false});
  Click("DataSourceNetwork");
  EXPECT_FALSE(Control<QCheckBox>("Polarity")->isEnabled());
  EXPECT_FALSE(Control<QComboBox>("COMPort")->isEnabled());
  Click("DataSourceRM100");
  EXPECT_TRUE(Control<QComboBox>("COMPort")->isEnabled());
  EXPECT_TRUE(Control<QCheckBox>("RM100Polarity")->isEnabled());
  EXPECT_FALSE(Control<QRadioButton>("COMDeviceDataSlicer")->isEnabled());
  EXPECT_TRUE(Control<QRadioButton>("COMDeviceRM100")->isChecked());
  Click("DataSourceAudio");
  EXPECT_TRUE(Control<QComboBox>("SamplingRate")->isEnabled());
  EXPECT_TRUE(Control<QComboBox>("AudioInputDevice")->isEnabled());
  EXPECT_FALSE(Control<QCheckBox>("RM100Polarity")->isEnabled());
}

TEST_F(OptionsDialogTest, WithASlicerTheComPortKeepsTheSlicer) {
  Open({.slicer_available = true});
  Click("DataSourceRM100");
  EXPECT_TRUE(Control<QRadioButton>("COMDeviceDataSlicer")->isEnabled());
  EXPECT_TRUE(Control<QRadioButton>("COMDeviceDataSlicer")->isChecked());
}

TEST_F(OptionsDialogTest, DataSourceDefaultsPut4800AndKeepTheAddress) {
  settings.SieveSource = kSieveSourceNetwork;
  settings.ServerAddress = "192.0.2.1";
  Open();
  Control<QTabBar>("tbsOptions")->setCurrentIndex(2);
  Click("DefaultButton");
  EXPECT_EQ(Control<QLineEdit>("Port")->text(), "4800");
  EXPECT_EQ(Control<QLineEdit>("Address")->text(), "192.0.2.1");
  EXPECT_TRUE(Control<QRadioButton>("DataSourceAudio")->isChecked());
  EXPECT_TRUE(Control<QComboBox>("SamplingRate")->isEnabled());
  EXPECT_EQ(settings.ServerPort, 990);  // nothing applied yet
}

TEST_F(OptionsDialogTest, WindowsDefaultsSetTheFontAtOnce) {
  settings.MDTFontName = "Mono";
  settings.MDTFontBold = true;
  Open();
  SetText("Cols", "80");
  SetText("SMTPMailServerTextBox", "mail.example");
  Control<QTabBar>("tbsOptions")->setCurrentIndex(1);
  Click("DefaultButton");
  EXPECT_EQ(Control<QLineEdit>("Cols")->text(), "40");
  EXPECT_EQ(Control<QLineEdit>("SMTPMailServerTextBox")->text(), "mail.example");
  EXPECT_EQ(settings.MDTFontName, "Courier New");
  EXPECT_FALSE(settings.MDTFontBold);
  EXPECT_EQ(host.fonts, 1);
}

TEST_F(OptionsDialogTest, TheFontButtonAppliesAtOnceEvenWhenCancelled) {
  Open();
  next_font = QFont("Monospace", 12, QFont::Bold, true);
  Click("MDTFontButton");
  EXPECT_EQ(offered_font.family(), "Courier New");
  EXPECT_EQ(offered_font.pointSizeF(), 9);
  Click("cmdCancel");
  EXPECT_EQ(form->result(), QDialog::Rejected);
  EXPECT_EQ(settings.MDTFontName, "Monospace");
  EXPECT_EQ(settings.MDTFontSize, 12);
  EXPECT_TRUE(settings.MDTFontBold);
  EXPECT_TRUE(settings.MDTFontItalic);
  EXPECT_TRUE(settings.SettingsChanged);
  EXPECT_EQ(host.fonts, 1);
}

TEST_F(OptionsDialogTest, ACancelledFontChangesNothing) {
  Open();
  next_font = std::nullopt;
  Click("MDTFontButton");
  EXPECT_EQ(settings.MDTFontName, "Courier New");
  EXPECT_FALSE(settings.SettingsChanged);
  EXPECT_EQ(host.fonts, 0);
}

TEST_F(OptionsDialogTest, CancelDropsWhatWasNotApplied) {
  Open();
  SetText("SMTPMailServerTextBox", "mail.example");
  Click("cmdCancel");
  EXPECT_FALSE(form->isVisible());
  EXPECT_EQ(settings.SMTPMailServer, "");
  EXPECT_FALSE(settings.SettingsChanged);
}

TEST_F(OptionsDialogTest, ApplyKeepsTheDialogOpenAndPolarityReachesTheHost) {
  Open();
  Click("Polarity");
  Click("cmdApply");
  EXPECT_TRUE(form->isVisible());
  EXPECT_TRUE(settings.ReversePolarity);
  EXPECT_EQ(host.polarity, std::vector<bool>{true});
}

// Renders each page for a look; the files land in the test's working directory.
TEST_F(OptionsDialogTest, EveryPageRenders) {
  Open();
  auto* tabs = Control<QTabBar>("tbsOptions");
  for (int i = 0; i < tabs->count(); ++i) {
    tabs->setCurrentIndex(i);
    const QPixmap shot = form->grab();
    EXPECT_FALSE(shot.isNull());
    shot.save(QString("options_page_%1.png").arg(i));
  }
  // Grown, the frames and boxes follow the window.
  const int address_width = Control<QLineEdit>("Address")->width();
  form->resize(form->width() + 200, form->height() + 100);
  tabs->setCurrentIndex(2);
  form->grab().save("options_page_grown.png");
  EXPECT_GT(Control<QLineEdit>("Address")->width(), address_width);
}

}  // namespace
}  // namespace kestrel
