#include "app/profile/options_dialog.h"

#include <QAudioDevice>
#include <QButtonGroup>
#include <QCheckBox>
#include <QColorDialog>
#include <QComboBox>
#include <QFontDialog>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QRegularExpressionValidator>
#include <QScreen>
#include <QSerialPortInfo>
#include <QShortcut>
#include <QStackedWidget>
#include <QTabBar>
#include <QVBoxLayout>
#include <algorithm>

#include "app/acquisition/qt_audio_input.h"
#include "app/mail/pigeon_mail_control.h"
#include "app/mail/test_email_dialog.h"
#include "app/platform/file_dialog.h"
#include "app/platform/paths.h"
#include "app/profile/set_topmost.h"
#include "app/ui/mdt_font.h"
#include "app/ui/widget_helpers.h"

namespace kestrel {
namespace {

constexpr const char* kPageName = "picOptions";
constexpr const char* kSystemDefaultInput = "System default";
constexpr const char* kSecurityNames[] = {"None", "STARTTLS", "Implicit TLS"};

Colour FromQColor(const QColor& colour) {
  return Colour(colour.red() | (colour.green() << 8) | (colour.blue() << 16));
}

QString Text(const std::string& text) { return QString::fromStdString(text); }
std::string Text(const QString& text) { return text.toStdString(); }

QLineEdit* NewNumberBox(const char* name, QWidget* parent) {
  auto* box = new QLineEdit(parent);
  box->setObjectName(name);
  // Digits only, and few enough that no value overflows.
  box->setValidator(new QRegularExpressionValidator(QRegularExpression("[0-9]{0,5}"), box));
  box->setMaximumWidth(box->fontMetrics().horizontalAdvance("0000000") + 12);
  return box;
}

QRadioButton* NewOption(const char* name, const QString& text, QButtonGroup* group, int id,
                        QWidget* parent) {
  auto* option = new QRadioButton(text, parent);
  option->setObjectName(name);
  group->addButton(option, id);
  return option;
}

QComboBox* NewList(const char* name, QWidget* parent) {
  auto* list = new QComboBox(parent);
  list->setObjectName(name);
  return list;
}

// Apply's side effects as the dialog adds to them: AlwaysOnTop also covers the dialog when set.
class DialogHost : public OptionsHost {
 public:
  DialogHost(OptionsHost& host, QWidget* dialog) : host_(host), dialog_(dialog) {}
  void ApplyAlwaysOnTop(bool on) override {
    host_.ApplyAlwaysOnTop(on);
    if (on) SetTopmost(dialog_, true);
  }
  void StopMonitoring() override { host_.StopMonitoring(); }
  void StartMonitoring() override { host_.StartMonitoring(); }
  void ApplyPolarity(bool reversed) override { host_.ApplyPolarity(reversed); }
  void ApplySettingsToWindows() override { host_.ApplySettingsToWindows(); }
  void ApplyMdtFont() override { host_.ApplyMdtFont(); }
  void ApplyMailSettings() override { host_.ApplyMailSettings(); }

 private:
  OptionsHost& host_;
  QWidget* dialog_;
};

}  // namespace

ColourChooser SystemColourChooser() {
  return [](const QColor& current, QWidget* parent) -> std::optional<QColor> {
    const QColor chosen = QColorDialog::getColor(current, parent);
    if (!chosen.isValid()) return std::nullopt;
    return chosen;
  };
}

FontChooser SystemFontChooser() {
  return [](const QFont& current, QWidget* parent) -> std::optional<QFont> {
    bool ok = false;
    const QFont chosen = QFontDialog::getFont(&ok, current, parent);
    if (!ok) return std::nullopt;
    return chosen;
  };
}

std::vector<std::pair<std::string, std::string>> SystemAudioInputs() {
  return QtAudioInput::Devices();
}

std::vector<std::string> SystemSerialPorts() {
  std::vector<std::string> ports;
  for (const QSerialPortInfo& info : QSerialPortInfo::availablePorts()) {
    ports.push_back(Text(info.systemLocation()));
  }
  return ports;
}

OptionsForm::OptionsForm(OptionsDialogServices services, QWidget* parent)
    : QDialog(parent), s_(std::move(services)) {
  setObjectName("OptionsForm");
  setWindowTitle("Options");
  setModal(true);

  tabs_ = new QTabBar(this);
  tabs_->setObjectName("tbsOptions");
  for (const char* caption : {"General", "Windows", "Data Source", "MDT Data"}) {
    tabs_->addTab(caption);
  }
  tabs_->setExpanding(false);
  pages_ = new QStackedWidget(this);
  pages_->addWidget(GeneralPage());
  pages_->addWidget(WindowsPage());
  pages_->addWidget(DataSourcePage());
  pages_->addWidget(MdtDataPage());

  auto* defaults = NewButton("DefaultButton", "Set to Defaults", this);
  auto* ok = NewButton("cmdOK", "OK", this);
  auto* cancel = NewButton("cmdCancel", "Cancel", this);
  auto* apply = NewButton("cmdApply", "Apply", this);
  ok->setDefault(true);
  auto* buttons = new QHBoxLayout;
  buttons->addWidget(defaults);
  buttons->addStretch();
  buttons->addWidget(ok);
  buttons->addWidget(cancel);
  buttons->addWidget(apply);

  auto* layout = new QVBoxLayout(this);
  layout->setSpacing(0);
  layout->addWidget(tabs_);
  layout->addWidget(pages_, 1);
  layout->addSpacing(10);
  layout->addLayout(buttons);

  connect(tabs_, &QTabBar::currentChanged, this, &OptionsForm::SelectTab);
  auto* next_tab = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_Tab), this);
  connect(next_tab, &QShortcut::activated, this,
          [this] { tabs_->setCurrentIndex((tabs_->currentIndex() + 1) % tabs_->count()); });
  connect(source_, &QButtonGroup::idClicked, this, &OptionsForm::SourceClicked);
  connect(defaults, &QPushButton::clicked, this, &OptionsForm::SetToDefaults);
  connect(ok, &QPushButton::clicked, this, &OptionsForm::Ok);
  connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
  connect(apply, &QPushButton::clicked, this, [this] { Apply(); });

  SetTopmost(this, s_.settings.AlwaysOnTop);
  OptionsValues values = LoadOptions(s_.settings);
  // A password file wins over the stored password, so the field would only mislead.
  const std::string& password_file = s_.settings.SMTPPasswordFile;
  if (s_.secrets && password_file.empty()) {
    const SecretResult stored = s_.secrets->Load(kSmtpSecretAccount, "");
    stored_password_ = values.smtp_password = stored.secret;
    if (!stored.ok) smtp_password_->setToolTip(Text("Not read: " + stored.error));
  }
  smtp_password_->setEnabled(s_.secrets && password_file.empty());
  if (!password_file.empty()) {
    smtp_password_->setToolTip(
        Text("The password is read from " + password_file + " (SMTPPasswordFile in the profile)."));
  }
  ShowValues(values);
  adjustSize();
  if (const QScreen* screen = parent ? parent->screen() : this->screen()) {
    QRect frame = frameGeometry();
    frame.moveCenter(screen->availableGeometry().center());
    move(frame.topLeft());
  }
}

QWidget* OptionsForm::NewPage() {
  auto* page = new QWidget(this);
  page->setObjectName(kPageName);
  return page;
}

QWidget* OptionsForm::GeneralPage() {
  QWidget* page = NewPage();
  auto* frame = new QGroupBox("General Settings", page);
  smtp_ = new QLineEdit(frame);
  smtp_->setObjectName("SMTPMailServerTextBox");
  activity_led_ = NewCheckBox("ActivityLEDCheckbox",
                              "Light up LED on toolbar when traffic is received.", frame);
  auto_save_ = NewCheckBox("AutoSaveCheckbox", "Automatically save settings on exit.", frame);
  system_tray_ =
      NewCheckBox("SystemTrayCheckbox", "Display icon in system tray when minimized.", frame);
  always_on_top_ = NewCheckBox("AlwaysOnTopCheckbox", "Keep Kestrel always on top", frame);
  smtp_security_ = NewList("cboSMTPSecurity", frame);
  for (int mode = 0; mode <= kMaxSMTPSecurity; ++mode) {
    smtp_security_->addItem(kSecurityNames[mode], mode);
  }
  smtp_port_ = NewNumberBox("txtSMTPPort", frame);
  smtp_user_name_ = new QLineEdit(frame);
  smtp_user_name_->setObjectName("txtSMTPUserName");
  smtp_password_ = new QLineEdit(frame);
  smtp_password_->setObjectName("txtSMTPPassword");
  smtp_password_->setEchoMode(QLineEdit::Password);
  smtp_ca_file_ = new QLineEdit(frame);
  smtp_ca_file_->setObjectName("txtSMTPCAFile");
  smtp_ca_file_->setPlaceholderText("the system's certificate authorities only");
  auto* browse = NewButton("cmdSMTPCAFile", "...", frame);
  auto* test = NewButton("cmdSendTestEMail", "Send Test E-mail...", frame);
  test->setEnabled(bool(s_.new_mail_control));
  connect(smtp_security_, &QComboBox::currentIndexChanged, this, &OptionsForm::ShowSMTPPortDefault);
  connect(browse, &QPushButton::clicked, this, &OptionsForm::ChooseCAFile);
  connect(test, &QPushButton::clicked, this, &OptionsForm::SendTestEMail);

  auto* grid = new QGridLayout;
  grid->addWidget(NewLabel("SMTPMailServerLabel", "SMTP Mail Server:", frame), 0, 0);
  grid->addWidget(smtp_, 0, 1, 1, 3);
  grid->addWidget(NewLabel("SMTPSecurityLabel", "Security:", frame), 1, 0);
  grid->addWidget(smtp_security_, 1, 1);
  grid->addWidget(NewLabel("SMTPPortLabel", "Port:", frame), 1, 2, Qt::AlignRight);
  grid->addWidget(smtp_port_, 1, 3);
  grid->addWidget(NewLabel("SMTPUserNameLabel", "User Name:", frame), 2, 0);
  grid->addWidget(smtp_user_name_, 2, 1, 1, 3);
  grid->addWidget(NewLabel("SMTPPasswordLabel", "Password:", frame), 3, 0);
  grid->addWidget(smtp_password_, 3, 1, 1, 3);
  grid->addWidget(NewLabel("SMTPCAFileLabel", "CA Certificates:", frame), 4, 0);
  auto* ca_row = new QHBoxLayout;
  ca_row->addWidget(smtp_ca_file_, 1);
  ca_row->addWidget(browse);
  grid->addLayout(ca_row, 4, 1, 1, 3);
  grid->addWidget(test, 5, 1, 1, 3, Qt::AlignLeft);
  grid->setColumnStretch(1, 1);
  auto* inner = new QVBoxLayout(frame);
  inner->addLayout(grid);
  for (QCheckBox* box : {activity_led_, auto_save_, system_tray_, always_on_top_}) {
    inner->addWidget(box);
  }
  auto* layout = new QVBoxLayout(page);
  layout->addWidget(frame);
  layout->addStretch();
  return page;
}

QPushButton* OptionsForm::NewColourBox(const char* name, Colour OptionsValues::*member) {
  auto* box = NewButton(name, QString(), this);
  box->setFixedSize(40, 22);
  box->setCursor(Qt::PointingHandCursor);
  colour_boxes_.emplace_back(box, member);
  connect(box, &QPushButton::clicked, this, [this, box, member] { ChooseColour(box, member); });
  return box;
}

QWidget* OptionsForm::WindowsPage() {
  QWidget* page = NewPage();
  // A row of "Foreground color:" and "Background color:" boxes.
  const auto colour_row = [this](QWidget* frame, const char* fore, Colour OptionsValues::*fore_m,
                                 const char* back, Colour OptionsValues::*back_m, bool hint) {
    auto* row = new QHBoxLayout;
    row->addWidget(NewLabel("ForegroundLabel", "Foreground color:", frame));
    QPushButton* fore_box = NewColourBox(fore, fore_m);
    fore_box->setParent(frame);
    row->addWidget(fore_box);
    row->addSpacing(12);
    row->addWidget(NewLabel("BackgroundLabel", "Background color:", frame));
    QPushButton* back_box = NewColourBox(back, back_m);
    back_box->setParent(frame);
    row->addWidget(back_box);
    row->addSpacing(12);
    if (hint) row->addWidget(NewLabel("ColorHintLabel", "(click color to change)", frame));
    row->addStretch();
    return row;
  };

  auto* mdt = new QGroupBox("MDT Display", page);
  cols_ = NewNumberBox("Cols", mdt);
  auto* width = new QHBoxLayout;
  width->addWidget(NewLabel("ColsLabel", "MDT display is", mdt));
  width->addWidget(cols_);
  width->addWidget(NewLabel("ColsUnitLabel", "characters wide.", mdt));
  width->addStretch();
  auto* font_button = NewButton("MDTFontButton", "MDT Font", mdt);
  connect(font_button, &QPushButton::clicked, this, &OptionsForm::ChooseFont);
  auto* font = new QHBoxLayout;
  font->addWidget(font_button);
  font->addWidget(
      NewLabel("MDTFontLabel", "to select font used to display traffic in the MDT window.", mdt));
  font->addStretch();
  auto* mdt_layout = new QVBoxLayout(mdt);
  mdt_layout->addLayout(width);
  mdt_layout->addLayout(font);
  mdt_layout->addLayout(colour_row(mdt, "MDTForeground", &OptionsValues::mdt_foreground,
                                   "MDTBackground", &OptionsValues::mdt_background, true));

  auto* messages = new QGroupBox("Messages Window", page);
  number_messages_ = NewNumberBox("NumberMessagesBox", messages);
  auto* number = new QHBoxLayout;
  number->addWidget(NewLabel("NumberMessagesLabel",
                             "Number of messages to display in Messages window:", messages));
  number->addWidget(number_messages_);
  number->addStretch();
  auto* messages_layout = new QVBoxLayout(messages);
  messages_layout->addLayout(number);
  messages_layout->addLayout(colour_row(messages, "MessagesForeground",
                                        &OptionsValues::messages_foreground, "MessagesBackground",
                                        &OptionsValues::messages_background, false));

  auto* terminals = new QGroupBox("Active Terminals Window", page);
  auto* terminals_layout = new QVBoxLayout(terminals);
  terminals_layout->addLayout(
      colour_row(terminals, "TerminalsForeground", &OptionsValues::terminals_foreground,
                 "TerminalsBackground", &OptionsValues::terminals_background, false));

  auto* layout = new QVBoxLayout(page);
  layout->addWidget(mdt);
  layout->addWidget(messages);
  layout->addWidget(terminals);
  layout->addStretch();
  return page;
}

QWidget* OptionsForm::DataSourcePage() {
  QWidget* page = NewPage();
  source_ = new QButtonGroup(this);
  auto* sources = new QGroupBox("MDT Data Source", page);
  auto* sources_layout = new QVBoxLayout(sources);
  sources_layout->addWidget(
      NewOption("DataSourceAudio", "Sound Card", source_, kSieveSourceSoundCard, sources));
  sources_layout->addWidget(
      NewOption("DataSourceNetwork", "Network Connection", source_, kSieveSourceNetwork, sources));
  sources_layout->addWidget(
      NewOption("DataSourceRM100", "COM Port", source_, kSieveSourceCOMPort, sources));
  sources_layout->addStretch();

  auto* network = new QGroupBox("Network Settings", page);
  address_ = new QLineEdit(network);
  address_->setObjectName("Address");
  port_ = NewNumberBox("Port", network);
  auto_reconnect_ =
      NewCheckBox("AutoReconnectCheckbox",
                  "Attempt to reconnect to server every 60 seconds if connection lost.", network);
  auto* network_grid = new QGridLayout(network);
  network_grid->addWidget(NewLabel("AddressLabel", "Server Address:", network), 0, 0);
  network_grid->addWidget(address_, 0, 1);
  network_grid->addWidget(NewLabel("PortLabel", "Server Port:", network), 1, 0);
  network_grid->addWidget(port_, 1, 1, Qt::AlignLeft);
  network_grid->addWidget(auto_reconnect_, 2, 0, 1, 2);
  network_grid->setColumnStretch(1, 1);

  auto* sound = new QGroupBox("Sound Card Settings", page);
  sampling_rate_ = NewList("SamplingRate", sound);
  sampling_rate_->addItems({"22050", "44100"});
  polarity_ = NewCheckBox("Polarity", "Reverse Polarity", sound);
  audio_input_ = NewList("AudioInputDevice", sound);
  audio_input_->addItem(kSystemDefaultInput, QString());
  for (const auto& [id, description] : s_.audio_inputs) {
    audio_input_->addItem(Text(description), Text(id));
  }
  audio_input_->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
  audio_input_->setMinimumContentsLength(16);
  auto* rate = new QHBoxLayout;
  rate->addWidget(NewLabel("SampleLabel", "Sample audio", sound));
  rate->addWidget(sampling_rate_);
  rate->addWidget(NewLabel("TimesLabel", "times per second", sound));
  rate->addStretch();
  auto* input = new QHBoxLayout;
  input->addWidget(NewLabel("AudioInputLabel", "Sound input:", sound));
  input->addWidget(audio_input_, 1);
  auto* sound_layout = new QVBoxLayout(sound);
  sound_layout->addLayout(input);
  sound_layout->addLayout(rate);
  sound_layout->addWidget(polarity_);

  auto* com = new QGroupBox("COM Port Settings", page);
  com_port_ = NewList("COMPort", com);
  com_port_->addItems({"COM1", "COM2", "COM3", "COM4"});
  com_port_name_ = NewList("COMPortName", com);
  com_port_name_->setEditable(true);
  com_port_name_->addItem(QString());
  for (const std::string& port : s_.serial_ports) com_port_name_->addItem(Text(port));
  com_port_name_->setToolTip("A serial device to use instead of the COM port; empty for none.");
  device_ = new QButtonGroup(this);
  rm100_polarity_ = NewCheckBox("RM100Polarity", "Reverse Polarity", com);
  auto* com_grid = new QGridLayout(com);
  com_grid->addWidget(NewLabel("COMPortLabel", "COM Port:", com), 0, 0);
  auto* port_row = new QHBoxLayout;
  port_row->addWidget(com_port_);
  port_row->addWidget(NewLabel("COMPortNameLabel", "or device:", com));
  port_row->addWidget(com_port_name_, 1);
  com_grid->addLayout(port_row, 0, 1);
  com_grid->addWidget(NewLabel("DeviceLabel", "Connected device:", com), 1, 0);
  auto* device_row = new QHBoxLayout;
  device_row->addWidget(
      NewOption("COMDeviceDataSlicer", "Data Slicer", device_, kCOMPortDeviceSlicer, com));
  device_row->addWidget(
      NewOption("COMDeviceRM100", "RM100 Decoder", device_, kCOMPortDeviceRM100, com));
  device_row->addStretch();
  com_grid->addLayout(device_row, 1, 1);
  com_grid->addWidget(rm100_polarity_, 2, 0, 1, 2);
  com_grid->setColumnStretch(1, 1);

  // Serves the sound card and the RM100 alike; the slicer and the feed bring decoded bits.
  auto* decoder = new QGroupBox("Decoder", page);
  decoder_mode_ = NewList("DecoderMode", decoder);
  decoder_mode_->addItem("Robust: for real receivers, noise and weak signals", kDecoderModeRobust);
  decoder_mode_->addItem("Exact: the reference algorithm, bit for bit", kDecoderModeExact);
  auto* decoder_row = new QHBoxLayout(decoder);
  decoder_row->addWidget(NewLabel("DecoderModeLabel", "Decode samples with:", decoder));
  decoder_row->addWidget(decoder_mode_, 1);

  auto* layout = new QGridLayout(page);
  layout->addWidget(sources, 0, 0);
  layout->addWidget(network, 0, 1);
  layout->addWidget(sound, 1, 0, 1, 2);
  layout->addWidget(com, 2, 0, 1, 2);
  layout->addWidget(decoder, 3, 0, 1, 2);
  layout->setRowStretch(4, 1);
  layout->setColumnStretch(1, 1);
  return page;
}

QWidget* OptionsForm::MdtDataPage() {
  QWidget* page = NewPage();
  auto* location = new QGroupBox("MDT Destination Address Location", page);
  address_start_ = NewNumberBox("AddressStartBox", location);
  address_end_ = NewNumberBox("AddressEndBox", location);
  auto* bytes = new QHBoxLayout(location);
  bytes->addWidget(
      NewLabel("AddressBytesLabel", "The destination address is stored in bytes", location));
  bytes->addWidget(address_start_);
  bytes->addWidget(NewLabel("ThroughLabel", "through", location));
  bytes->addWidget(address_end_);
  bytes->addStretch();

  auto* options = new QGroupBox("MDT Data Options", page);
  ignore_35_ = NewCheckBox("Ignore35Checkbox",
                           "Ignore data having 0x35 in byte 1 of the message header.", options);
  ignore_downloaded_ =
      NewCheckBox("IgnoreDownloadedStringsCheckbox",
                  "Ignore messages containing downloaded function key strings.", options);
  auto* options_layout = new QVBoxLayout(options);
  options_layout->addWidget(ignore_35_);
  options_layout->addWidget(ignore_downloaded_);

  auto* layout = new QVBoxLayout(page);
  layout->addWidget(location);
  layout->addWidget(options);
  layout->addStretch();
  return page;
}

void OptionsForm::ShowColour(QPushButton* box, Colour colour) {
  box->setStyleSheet(QString("QPushButton { background-color: %1; border: 1px solid gray; }")
                         .arg(ToQColor(colour, Qt::black).name()));
}

void OptionsForm::ShowValues(const OptionsValues& v) {
  smtp_->setText(Text(v.smtp_mail_server));
  smtp_security_->setCurrentIndex(std::clamp(v.smtp_security, 0, kMaxSMTPSecurity));
  smtp_port_->setText(Text(v.smtp_port));
  smtp_user_name_->setText(Text(v.smtp_user_name));
  smtp_password_->setText(Text(v.smtp_password));
  smtp_ca_file_->setText(Text(v.smtp_ca_file));
  ShowSMTPPortDefault();
  activity_led_->setChecked(v.activity_led);
  auto_save_->setChecked(v.auto_save);
  system_tray_->setChecked(v.system_tray);
  always_on_top_->setChecked(v.always_on_top);
  cols_->setText(Text(v.cols));
  number_messages_->setText(Text(v.number_messages));
  colours_ = v;
  for (const auto& [box, member] : colour_boxes_) ShowColour(box, v.*member);
  if (QAbstractButton* option = source_->button(v.source)) option->setChecked(true);
  address_->setText(Text(v.address));
  port_->setText(Text(v.port));
  auto_reconnect_->setChecked(v.auto_reconnect);
  // A rate from an old profile stays on show rather than being replaced unseen.
  if (sampling_rate_->findText(Text(v.sampling_rate)) < 0) {
    sampling_rate_->addItem(Text(v.sampling_rate));
  }
  sampling_rate_->setCurrentText(Text(v.sampling_rate));
  polarity_->setChecked(v.polarity);
  int input = audio_input_->findData(Text(v.audio_input_device));
  if (input < 0) {
    // An input that is gone keeps its id until the user picks another.
    audio_input_->addItem(Text(v.audio_input_device), Text(v.audio_input_device));
    input = audio_input_->count() - 1;
  }
  audio_input_->setCurrentIndex(input);
  com_port_->setCurrentIndex(com_port_->findText(Text(v.com_port)));
  com_port_name_->setCurrentText(Text(v.com_port_name));
  if (QAbstractButton* option = device_->button(v.com_device)) option->setChecked(true);
  rm100_polarity_->setChecked(v.rm100_polarity);
  decoder_mode_->setCurrentIndex(std::max(0, decoder_mode_->findData(v.decoder_mode)));
  address_start_->setText(Text(v.address_start));
  address_end_->setText(Text(v.address_end));
  ignore_35_->setChecked(v.ignore_35);
  ignore_downloaded_->setChecked(v.ignore_downloaded_strings);
  EnableSourceControls();
}

OptionsValues OptionsForm::Values() const {
  OptionsValues v = colours_;
  v.smtp_mail_server = Text(smtp_->text());
  v.smtp_security = smtp_security_->currentIndex();
  v.smtp_port = Text(smtp_port_->text());
  v.smtp_user_name = Text(smtp_user_name_->text().trimmed());
  v.smtp_password = Text(smtp_password_->text());
  v.smtp_ca_file = Text(smtp_ca_file_->text().trimmed());
  v.activity_led = activity_led_->isChecked();
  v.auto_save = auto_save_->isChecked();
  v.system_tray = system_tray_->isChecked();
  v.always_on_top = always_on_top_->isChecked();
  v.cols = Text(cols_->text());
  v.number_messages = Text(number_messages_->text());
  v.source = source_->checkedId() > 0 ? source_->checkedId() : s_.settings.SieveSource;
  v.address = Text(address_->text());
  v.port = Text(port_->text());
  v.auto_reconnect = auto_reconnect_->isChecked();
  v.sampling_rate = Text(sampling_rate_->currentText());
  v.polarity = polarity_->isChecked();
  v.audio_input_device = Text(audio_input_->currentData().toString());
  v.com_port = Text(com_port_->currentText());
  v.com_port_name = Text(com_port_name_->currentText().trimmed());
  v.com_device = device_->checkedId() > 0 ? device_->checkedId() : s_.settings.COMPortDevice;
  v.rm100_polarity = rm100_polarity_->isChecked();
  v.decoder_mode = decoder_mode_->currentData().toInt();
  v.address_start = Text(address_start_->text());
  v.address_end = Text(address_end_->text());
  v.ignore_35 = ignore_35_->isChecked();
  v.ignore_downloaded_strings = ignore_downloaded_->isChecked();
  return v;
}

void OptionsForm::EnableSourceControls() {
  const SourceControls c = EnabledForSource(source_->checkedId(), s_.platform);
  polarity_->setEnabled(c.sound_card);
  sampling_rate_->setEnabled(c.sound_card);
  audio_input_->setEnabled(c.sound_card);
  device_->button(kCOMPortDeviceSlicer)->setEnabled(c.slicer_device);
  device_->button(kCOMPortDeviceRM100)->setEnabled(c.com_port);
  com_port_->setEnabled(c.com_port);
  com_port_name_->setEnabled(c.com_port);
  rm100_polarity_->setEnabled(c.com_port);
}

void OptionsForm::SourceClicked(int source) {
  OptionsValues v = Values();
  SelectSource(source, v, s_.platform);
  if (QAbstractButton* option = device_->button(v.com_device)) option->setChecked(true);
  EnableSourceControls();
}

void OptionsForm::ChooseColour(QPushButton* box, Colour OptionsValues::*member) {
  if (!s_.choose_colour) return;
  const std::optional<QColor> chosen =
      s_.choose_colour(ToQColor(colours_.*member, Qt::black), this);
  if (!chosen || !chosen->isValid()) return;
  colours_.*member = FromQColor(*chosen);
  ShowColour(box, colours_.*member);
}

void OptionsForm::ChooseFont() {
  if (!s_.choose_font) return;
  const std::optional<QFont> chosen = s_.choose_font(MdtFont(s_.settings), this);
  if (!chosen) return;
  s_.settings.MDTFontName = Text(chosen->family());
  s_.settings.MDTFontSize = chosen->pointSizeF();
  s_.settings.MDTFontBold = chosen->bold();
  s_.settings.MDTFontItalic = chosen->italic();
  s_.settings.SettingsChanged = true;
  s_.host.ApplyMdtFont();
}

void OptionsForm::SelectTab(int index) {
  if (index == shown_tab_) return;
  if (const auto message = ValidateOptions(Values())) {
    s_.boxes.Show(*message, kProgramName, MessageBoxes::Icon::kExclamation,
                  MessageBoxes::Buttons::kOk);
    const QSignalBlocker block(tabs_);
    tabs_->setCurrentIndex(shown_tab_);
    return;
  }
  shown_tab_ = index;
  pages_->setCurrentIndex(index);
}

void OptionsForm::SetToDefaults() {
  OptionsValues v = Values();
  const auto tab = OptionsTab(tabs_->currentIndex());
  SetTabDefaults(tab, v, s_.platform);
  if (tab == OptionsTab::kWindows) {
    DefaultMdtFont(s_.settings);
    s_.host.ApplyMdtFont();
  }
  ShowValues(v);
}

bool OptionsForm::Apply() {
  DialogHost host(s_.host, this);
  if (!ApplyOptions(Values(), s_.settings, s_.boxes, host).applied) return false;
  const bool stored = StorePassword();
  host.ApplyMailSettings();
  return stored;
}

bool OptionsForm::StorePassword() {
  const std::string password = Text(smtp_password_->text());
  if (!s_.secrets || !smtp_password_->isEnabled() || password == stored_password_) return true;
  const SecretResult result = s_.secrets->Store(kSmtpSecretAccount, password);
  if (!result.ok) {
    s_.boxes.Show("The SMTP password could not be stored: " + result.error, kProgramName,
                  MessageBoxes::Icon::kExclamation, MessageBoxes::Buttons::kOk);
    return false;
  }
  stored_password_ = password;
  return true;
}

void OptionsForm::ShowSMTPPortDefault() {
  const int mode = std::clamp(smtp_security_->currentIndex(), 0, kMaxSMTPSecurity);
  smtp_port_->setPlaceholderText(
      QString::number(pigeon::Mail::DefaultPort(pigeon::Mail::SecurityMode(mode))));
}

void OptionsForm::ChooseCAFile() {
  const std::string path =
      AskFile(s_.ask_file, this, FileDialogMode::kOpen, "CA Certificates",
              Text(smtp_ca_file_->text()), "Certificates (*.pem *.crt);;All files (*)", "");
  if (!path.empty()) smtp_ca_file_->setText(QString::fromLocal8Bit(path.c_str()));
}

void OptionsForm::SendTestEMail() {
  if (!s_.new_mail_control) return;
  const OptionsValues v = Values();
  Settings shown = s_.settings;
  shown.SMTPSecurity = v.smtp_security;
  shown.SMTPPort = std::clamp(NumericValue(v.smtp_port), 0, kMaxSMTPPort);
  shown.SMTPUserName = v.smtp_user_name;
  shown.SMTPCAFile = v.smtp_ca_file;
  // What the controls show, before OK: the user tests what they are about to keep.
  MailConnection connection;
  if (smtp_password_->isEnabled()) {
    connection = MailConnectionFromSettings(shown, v.smtp_password);
  } else {
    std::string error;
    connection = LoadMailConnection(shown, s_.secrets ? *s_.secrets : SecretStore(), error);
  }
  TestEMailDialog dialog(v.smtp_mail_server, connection, s_.new_mail_control(), this);
  dialog.exec();
}

void OptionsForm::Ok() {
  if (Apply()) accept();
}

bool ShowOptionsDialog(OptionsDialogServices services, QWidget* parent) {
  OptionsForm form(std::move(services), parent);
  return form.exec() == QDialog::Accepted;
}

}  // namespace kestrel
