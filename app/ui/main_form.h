#pragma once

#include <QAction>
#include <QLabel>
#include <QMainWindow>
#include <QPlainTextEdit>
#include <QPointer>
#include <QSystemTrayIcon>
#include <QTimer>
#include <QToolBar>
#include <QTreeView>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "app/acquisition/acquisition.h"
#include "app/mail/pigeon_mail_control.h"
#include "app/network/feed_network.h"
#include "app/platform/clock.h"
#include "app/platform/file_question.h"
#include "app/platform/qt_message_boxes.h"
#include "app/platform/qt_printer.h"
#include "app/platform/qt_sound_output.h"
#include "app/platform/qt_text_window.h"
#include "app/platform/secret_store.h"
#include "app/profile/options.h"
#include "app/rules/alert_presenter.h"
#include "app/traffic/main_view.h"
#include "app/ui/list_models.h"
#include "app/ui/program.h"
#include "pigeon/mail.h"

namespace kestrel {

class AliasWindows;
class AnalysisWindow;
class RulesWindow;
class ClientsConnected;
class MailStatusWindow;
class OutputsWindow;
class MessageDetailsWindow;
class StatusWindow;
class RawDataForm;
class SplitterBar;

// Kestrel's main window: the Messages list, the Active Terminals list and the MDT display, the
// menus, toolbar, status bar, timers and tray icon, and the exit sequence.
class MainForm : public QMainWindow, public MainView, public MonitoringView, public FeedView {
 public:
  // `audio` is the sound input (a device or a recording); `boxes` shows messages (the window's
  // own message boxes when null).
  MainForm(std::unique_ptr<AudioInput> audio, MessageBoxes* boxes = nullptr,
           const Clock* clock = nullptr);
  ~MainForm() override;

  Program& program() { return *program_; }
  MessageBoxes* Boxes() { return boxes_; }

  // Start-up after the profile is loaded: monitoring, rules, window state; then the window shows.
  void Start(bool minimized);
  // The exit sequence. `ask` false answers the save question as No, for signals and logouts.
  // False when the user cancelled.
  bool ExitSequence(bool ask);
  bool Exited() const { return exited_; }
  // Answers every file question of the window and its dialogs (tests).
  void SetFileQuestion(FileQuestion question);
  // Called with the settings just before the exit sequence saves them.
  void SetBeforeSave(std::function<void(Settings&)> hook) { on_before_save_ = std::move(hook); }

  // MainView.
  void TrafficSeen() override;
  void SetStatusText(std::string_view text) override;
  void RestartAcquisitionTimer() override;
  void AppendTerminalRow(std::string_view address, std::string_view alias) override;
  std::optional<std::string> SelectedTerminal() const override;
  bool Minimised() const override;
  bool HasMessagesRow(int32_t tag) const override;
  std::optional<int32_t> SelectedMessagesRow() const override;
  bool MDTShowsMessage() const override { return mdt_shows_message_; }
  bool MessageDetailsOpen() const override { return message_details_open_; }
  bool MessageDetailsVisible() const override;
  void DisplayMessageDetails(bool details_window, int32_t tag) override;

  // MonitoringView.
  void SetStatusPanel(int panel, std::string_view text) override;
  void SetAcquisitionTimer(bool enabled) override;
  void SetNetTimer(bool enabled) override;
  void SetPlayEnabled(bool enabled) override;
  void SetStopEnabled(bool enabled) override;
  void SetNetworkButton(bool enabled, std::string_view tool_tip) override;
  void SetMonitorChecked(bool checked) override;
  void SetAnalyzeSignalEnabled(bool enabled) override;
  void SetReversePolarityEnabled(bool enabled) override;
  // Draws the capture once the poll that took it has finished with its block.
  void ShowSignalCapture() override;

  // FeedView (the rest it shares with MonitoringView).
  void SetReconnectTimer(bool enabled) override;

  // Commands, also reached from tests.
  void ClearAllWindows();
  void DeleteMessageRow();
  void DeleteAllMessageRows();
  void OpenMessage();
  void ClickTerminalsRow(int row);
  void ClickMessagesRow(int row);
  void ReversePolarity();
  void ToggleHold();
  void CaptureToFile();
  void CaptureToPrinter();
  void StopCapturing();
  void ToggleRawData();
  // Analyze Signal and the analysis window's Refresh: the next decoded block is captured.
  void RequestSignalCapture();
  void ShowSignalInformation();
  // Splitter positions in twips, clamped as a release clamps them; then the layout runs.
  void MoveVerticalSplitter(double twips);
  void MoveHorizontalSplitter(double twips);
  // Re-lays out the window (Form_Resize).
  void LayoutViews();
  // After MDTColumns or the MDT font changed.
  void ResizeMDTWindow();

 protected:
  void closeEvent(QCloseEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void changeEvent(QEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;
  void contextMenuEvent(QContextMenuEvent* event) override;

 private:
  void CreateActions();
  void CreateMenus();
  void CreateToolBar();
  void CreateStatusBar();
  void CreateViews();
  void CreateTray();
  void WireTimers();
  // Everything the profile says about the windows, geometry included.
  void ApplySettingsToWindows();
  // Colours, fonts, toolbar and status bar, polarity mark, the MDT display's width.
  void ApplyViewSettings();
  void StoreWindowState();
  QRect InnerRect() const;
  void SelectMessagesTag(int32_t tag);
  void SelectTerminalRow(int row);
  void ShowMessagesMenu(const QPoint& global);
  void MoveDetails(int step);
  void OpenKestrel();
  void PrintSetup();
  void ShowAbout();
  void OpenHelpPage(const char* page);
  void UpdateEditCopy();
  void EndCaptureMenus();
  void LoadProfileCommand();
  void SaveProfileCommand();
  void SaveProfileAsCommand();
  void HandleSortClick(QTreeView* view, int column);
  void WireDetails();
  void SaveTo(const std::string& path);
  // Logs a failed save and tells the user which file failed and why.
  void ReportSaveFailure(const std::string& path, const std::string& failure);
  QIcon ToolbarIcon(const char* key, const char* theme);

  void ShowClientsConnected();
  void ShowMailStatus();
  void ShowOutputs();
  // The station's outputs as the profile's [Outputs] section asks, replacing those running.
  void ConfigureOutputs();
  // Panel 1's tool tip: what became of the mail, refreshed with each status tick.
  void ShowMailStatusTip();
  // The mail queue takes the SMTP connection the settings and the secret store describe.
  void LoadMailConnection();
  void ShowRules();

  // What the Options dialog has the window do.
  struct OptionsBridge : OptionsHost {
    explicit OptionsBridge(MainForm* owner) : form(owner) {}
    void ApplyAlwaysOnTop(bool on) override;
    void StopMonitoring() override;
    void StartMonitoring() override;
    void ApplyPolarity(bool reversed) override;
    void ApplySettingsToWindows() override;
    void ApplyMdtFont() override;
    void ApplyMailSettings() override;
    MainForm* form;
  };
  OptionsBridge options_bridge_{this};

  // Rule processing needs the alert view before the presenter (which needs the stores) exists.
  struct AlertForwarder : AlertView {
    void ShowAlert(const AlertContent& content) override;
    void SetReceived(std::string_view time) override;
    void SetMessageText(std::string_view text) override;
    AlertPresenter* target = nullptr;
  };

  std::unique_ptr<AudioInput> audio_;
  FeedNetworkForwarder feed_forwarder_;
  std::unique_ptr<SerialSources> serial_;
  std::unique_ptr<QtMessageBoxes> own_boxes_;
  MessageBoxes* boxes_;
  SystemClock system_clock_;
  const Clock* clock_;
  pigeon::Mail mail_;
  PigeonMailControl mail_control_{mail_};
  SecretStore secrets_;
  QtSoundOutput sound_;
  std::unique_ptr<QtPrinter> rule_printer_;
  std::unique_ptr<QtPrinter> capture_printer_;
  QPlainTextEdit* mdt_ = nullptr;
  std::unique_ptr<QtTextWindow> mdt_window_;
  AlertForwarder alert_forwarder_;
  std::unique_ptr<AlertPresenter> alert_;
  std::unique_ptr<Program> program_;
  std::unique_ptr<FeedNetworkQt> feed_;
  std::unique_ptr<MessagesModel> messages_model_;
  std::unique_ptr<TerminalsModel> terminals_model_;
  FileQuestion ask_file_;
  QString printer_name_;  // chosen in Print Setup; empty for the default printer
  std::function<void(Settings&)> on_before_save_;

  QTreeView* messages_ = nullptr;
  QTreeView* terminals_ = nullptr;
  QLabel* terminals_label_ = nullptr;
  QLabel* mdt_label_ = nullptr;
  SplitterBar* vertical_splitter_ = nullptr;
  SplitterBar* horizontal_splitter_ = nullptr;
  QToolBar* toolbar_ = nullptr;
  QLabel* activity_led_ = nullptr;
  QLabel* panels_[3] = {};
  QSystemTrayIcon* tray_ = nullptr;
  QPointer<MessageDetailsWindow> details_;
  QPointer<RawDataForm> raw_data_form_;
  QPointer<AnalysisWindow> analysis_;
  QPointer<ClientsConnected> clients_window_;
  QPointer<MailStatusWindow> mail_status_;
  QPointer<OutputsWindow> outputs_window_;
  QPointer<RulesWindow> rules_window_;
  AliasWindows* alias_windows_ = nullptr;         // a child of the window
  std::unique_ptr<StatusWindow> capture_status_;  // "Please wait..." until a capture is drawn
  std::unique_ptr<QtTextWindow> raw_data_window_;

  QTimer timer_;            // "Timer": the 250 ms acquisition poll
  QTimer status_timer_;     // "StatusTimer"
  QTimer led_timer_;        // "ActivityLEDTimer"
  QTimer net_timer_;        // "NetTimer"
  QTimer reconnect_timer_;  // "ReconnectTimer"
  QTimer clock_timer_;      // panel 3's clock

  // Actions by the names the menus give them.
  QAction *load_profile_, *save_profile_, *save_profile_as_, *capture_, *capture_to_file_,
      *capture_to_printer_, *stop_capturing_, *print_setup_, *exit_, *edit_copy_, *select_all_,
      *clear_all_, *alerts_, *raw_data_, *toolbar_item_, *status_bar_item_, *analyze_signal_,
      *options_, *terminal_alias_, *hold_, *hold2_, *reverse_polarity_, *monitor_, *rules_item_,
      *aliases_item_, *home_page_, *faq_, *history_, *about_, *open_kestrel_, *exit2_,
      *open_message_, *delete_message_, *delete_all_rows_, *edit_alias_, *mail_status_item_,
      *outputs_item_;
  QAction *open_button_, *save_button_, *network_button_, *play_button_, *stop_button_,
      *hold_button_;
  QMenu* messages_menu_ = nullptr;
  QMenu* aliases_menu_ = nullptr;
  QMenu* main_form_menu_ = nullptr;
  QMenu* tray_menu_ = nullptr;

  int mdt_width_ = 0;  // pixels the MDT display needs for MDTColumns characters
  bool mdt_shows_message_ = false;
  bool message_details_open_ = false;
  bool messages_flag_ = false;   // the user pressed or moved in the Messages list
  bool terminals_flag_ = false;  // the same for the Terminals list
  bool exit_in_progress_ = false;
  bool exited_ = false;
  std::optional<int> messages_sort_;  // column, when sorted
  bool messages_ascending_ = true;
  std::optional<int> terminals_sort_;
  bool terminals_ascending_ = true;
};

}  // namespace kestrel
