#pragma once

#include <QColor>
#include <QDialog>
#include <QFont>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "app/mail/mail_control.h"
#include "app/platform/file_question.h"
#include "app/platform/message_box.h"
#include "app/platform/secret_store.h"
#include "app/profile/options.h"
#include "app/profile/settings.h"

class QButtonGroup;
class QCheckBox;
class QComboBox;
class QLineEdit;
class QPushButton;
class QStackedWidget;
class QTabBar;

namespace kestrel {

// The colour question: the chosen colour, or none when cancelled. Tests answer it.
using ColourChooser = std::function<std::optional<QColor>(const QColor& current, QWidget* parent)>;
// The font question: the chosen font, or none when cancelled. Tests answer it.
using FontChooser = std::function<std::optional<QFont>(const QFont& current, QWidget* parent)>;

// The platform's dialogs and device lists.
ColourChooser SystemColourChooser();
FontChooser SystemFontChooser();
// (id, description) of the sound inputs the system lists.
std::vector<std::pair<std::string, std::string>> SystemAudioInputs();
// The system's serial devices by path.
std::vector<std::string> SystemSerialPorts();

// What the Options dialog works with. Everything referred to outlives the dialog.
struct OptionsDialogServices {
  Settings& settings;
  MessageBoxes& boxes;
  OptionsHost& host;  // the main window's side of Apply and of the font changes
  ColourChooser choose_colour;
  FontChooser choose_font;
  std::vector<std::pair<std::string, std::string>> audio_inputs;  // (id, description)
  std::vector<std::string> serial_ports;
  OptionsPlatform platform;
  // Where the SMTP password is kept; null leaves the password field disabled.
  const SecretStore* secrets = nullptr;
  // A fresh control for the test e-mail; none disables "Send Test E-mail".
  std::function<std::unique_ptr<MailControl>()> new_mail_control;
  // Answers the CA file question in tests; empty: a file dialog.
  FileQuestion ask_file;
};

// "Options": the settings that are not window geometry or rules, edited on a copy held in the
// controls; Apply and OK validate and write them (ApplyOptions). Window thread only.
class OptionsForm : public QDialog {
 public:
  OptionsForm(OptionsDialogServices services, QWidget* parent = nullptr);

  // The Apply operation; true when the controls passed validation and were applied.
  bool Apply();
  // The controls as they stand.
  OptionsValues Values() const;

 private:
  QWidget* NewPage();
  QWidget* GeneralPage();
  QWidget* WindowsPage();
  QWidget* DataSourcePage();
  QWidget* MdtDataPage();
  QPushButton* NewColourBox(const char* name, Colour OptionsValues::*member);
  void ShowValues(const OptionsValues& values);
  void ShowColour(QPushButton* box, Colour colour);
  void ChooseColour(QPushButton* box, Colour OptionsValues::*member);
  void ChooseFont();
  void SelectTab(int index);
  void SourceClicked(int source);
  void EnableSourceControls();
  void SetToDefaults();
  void Ok();
  void ShowSMTPPortDefault();
  void ChooseCAFile();
  void SendTestEMail();
  // Stores a changed password; false (after telling the user) when the store refused it.
  bool StorePassword();

  OptionsDialogServices s_;
  // Kept here rather than in a control: the colour boxes show them.
  OptionsValues colours_;
  int shown_tab_ = 0;
  std::string stored_password_;  // as loaded, so only a change is stored

  QTabBar* tabs_ = nullptr;
  QStackedWidget* pages_ = nullptr;
  QLineEdit *smtp_port_ = nullptr, *smtp_user_name_ = nullptr, *smtp_password_ = nullptr,
            *smtp_ca_file_ = nullptr;
  QComboBox* smtp_security_ = nullptr;
  QLineEdit *smtp_ = nullptr, *cols_ = nullptr, *number_messages_ = nullptr, *address_ = nullptr,
            *port_ = nullptr, *address_start_ = nullptr, *address_end_ = nullptr;
  QCheckBox *activity_led_ = nullptr, *auto_save_ = nullptr, *system_tray_ = nullptr,
            *always_on_top_ = nullptr, *auto_reconnect_ = nullptr, *polarity_ = nullptr,
            *rm100_polarity_ = nullptr, *ignore_35_ = nullptr, *ignore_downloaded_ = nullptr;
  QComboBox *sampling_rate_ = nullptr, *com_port_ = nullptr, *audio_input_ = nullptr,
            *com_port_name_ = nullptr, *decoder_mode_ = nullptr;
  QButtonGroup* source_ = nullptr;
  QButtonGroup* device_ = nullptr;
  std::vector<std::pair<QPushButton*, Colour OptionsValues::*>> colour_boxes_;
};

// Shows the Options dialog modally over `parent`; true when OK closed it (after a successful
// Apply). Settings already applied by the Apply button stay applied after Cancel.
bool ShowOptionsDialog(OptionsDialogServices services, QWidget* parent);

}  // namespace kestrel
