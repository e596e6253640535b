#include "app/ui/main_form.h"

#include <QApplication>
#include <QClipboard>
#include <QCloseEvent>
#include <QContextMenuEvent>
#include <QDate>
#include <QDesktopServices>
#include <QFileDialog>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMenuBar>
#include <QPrintDialog>
#include <QPrinter>
#include <QScreen>
#include <QScrollBar>
#include <QStatusBar>
#include <QTime>
#include <QUrl>

#include "app/acquisition/serial_port_sources.h"
#include "app/acquisition/signal_capture.h"
#include "app/display/message_details_window.h"
#include "app/display/raw_data_form.h"
#include "app/mail/mail_status_window.h"
#include "app/network/clients_connected_window.h"
#include "app/outputs/outputs.h"
#include "app/outputs/outputs_window.h"
#include "app/platform/file_dialog.h"
#include "app/platform/paths.h"
#include "app/platform/program_log.h"
#include "app/platform/twips.h"
#include "app/profile/options_dialog.h"
#include "app/profile/profile.h"
#include "app/profile/set_topmost.h"
#include "app/profile/status_window.h"
#include "app/rules/alert_settings_dialog.h"
#include "app/rules/email_message_dialog.h"
#include "app/rules/log_message_dialog.h"
#include "app/rules/rules_window.h"
#include "app/traffic/configure_aliases_window.h"
#include "app/ui/about_box.h"
#include "app/ui/analysis_window.h"
#include "app/ui/data_files.h"
#include "app/ui/mdt_font.h"
#include "app/ui/widget_helpers.h"
#include "app/ui/window_geometry.h"

namespace kestrel {

// A thin bar the user drags to move a boundary between the views. It follows the pointer along
// its axis while dragged and reports where it was released.
class SplitterBar : public QFrame {
 public:
  SplitterBar(Qt::Orientation orientation, QWidget* parent)
      : QFrame(parent), orientation_(orientation) {
    setCursor(orientation == Qt::Vertical ? Qt::SplitHCursor : Qt::SplitVCursor);
    setAutoFillBackground(true);
  }
  std::function<void(int)> released;  // the bar's new left (vertical) or top (horizontal) edge
  std::function<void(QPoint)> context_menu;

 protected:
  void mousePressEvent(QMouseEvent* event) override {
    if (event->button() != Qt::LeftButton) return;
    offset_ = orientation_ == Qt::Vertical ? event->position().x() : event->position().y();
    setBackgroundRole(QPalette::Dark);
  }
  void mouseMoveEvent(QMouseEvent* event) override {
    if (!offset_) return;
    const QPoint p = mapToParent(event->position().toPoint());
    if (orientation_ == Qt::Vertical)
      move(p.x() - int(*offset_), y());
    else
      move(x(), p.y() - int(*offset_));
  }
  void mouseReleaseEvent(QMouseEvent* event) override {
    if (event->button() == Qt::RightButton) {
      if (context_menu) context_menu(event->globalPosition().toPoint());
      return;
    }
    if (!offset_) return;
    offset_.reset();
    setBackgroundRole(QPalette::Window);
    if (released) released(orientation_ == Qt::Vertical ? x() : y());
  }

 private:
  Qt::Orientation orientation_;
  std::optional<double> offset_;  // none: not dragging
};

namespace {

constexpr int kSplitterThickness = 5;  // pixels
// How long the outputs may take at exit to hand on what they hold (MQTT's last acknowledgements).
constexpr auto kOutputsFinishWait = std::chrono::seconds(3);
constexpr char kAll[] = "<all>";

// Shows a window of the main window's own, over the others and with the focus.
void BringToFront(QWidget* window) {
  window->show();
  window->raise();
  window->activateWindow();
}

void ColourView(QWidget* view, Colour foreground, Colour background) {
  QPalette palette = view->palette();
  palette.setColor(QPalette::Text, ToQColor(foreground, palette.color(QPalette::Text)));
  palette.setColor(QPalette::Base, ToQColor(background, palette.color(QPalette::Base)));
  view->setPalette(palette);
}

bool NavigationKey(const QKeyEvent* key) {
  if (key->modifiers() & (Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier)) return false;
  switch (key->key()) {
    case Qt::Key_PageUp:
    case Qt::Key_PageDown:
    case Qt::Key_End:
    case Qt::Key_Home:
    case Qt::Key_Up:
    case Qt::Key_Down:
      return true;
    default:
      return false;
  }
}

QTreeView* MakeList(QWidget* parent, const char* name) {
  auto* view = new QTreeView(parent);
  view->setObjectName(name);
  view->setRootIsDecorated(false);
  view->setUniformRowHeights(true);
  view->setItemsExpandable(false);
  view->setAllColumnsShowFocus(true);
  view->setSelectionMode(QAbstractItemView::SingleSelection);
  view->setSelectionBehavior(QAbstractItemView::SelectRows);
  view->setEditTriggers(QAbstractItemView::NoEditTriggers);
  view->header()->setSectionsClickable(true);
  view->header()->setSortIndicatorShown(false);
  view->header()->setStretchLastSection(true);
  view->setContextMenuPolicy(Qt::PreventContextMenu);
  return view;
}

}  // namespace

MainForm::MainForm(std::unique_ptr<AudioInput> audio, MessageBoxes* boxes, const Clock* clock)
    : audio_(std::move(audio)), clock_(clock ? clock : &system_clock_) {
  setObjectName("MainForm");
  setWindowTitle("Kestrel");
  if (boxes == nullptr) {
    own_boxes_ = std::make_unique<QtMessageBoxes>(this);
    boxes = own_boxes_.get();
  }
  boxes_ = boxes;
  mdt_ = new QPlainTextEdit(this);
  mdt_->setObjectName("MDT");
  mdt_->setReadOnly(true);
  mdt_->setLineWrapMode(QPlainTextEdit::NoWrap);
  mdt_->setUndoRedoEnabled(false);
  mdt_->setContextMenuPolicy(Qt::PreventContextMenu);
  mdt_window_ = std::make_unique<QtTextWindow>(mdt_);
  rule_printer_ = std::make_unique<QtPrinter>(MdtFont(Settings{}));
  serial_ = std::make_unique<SerialPortSources>();
  program_ = std::make_unique<Program>(
      ProgramParts{*this, *this, alert_forwarder_, sound_, *mdt_window_, *boxes_, *clock_, *audio_,
                   feed_forwarder_, *serial_, mail_control_, rule_printer_.get()});
  feed_ = std::make_unique<FeedNetworkQt>(
      FeedServices{program_->settings, *clock_, *boxes_, *this,
                   [this](const std::string& record) { program_->processor.ProcessSieve(record); },
                   [this](std::string_view status) { program_->monitoring.StopMonitoring(status); },
                   [this] { program_->monitoring.StartMonitoring(); }});
  feed_forwarder_.target = feed_.get();
  alert_ =
      std::make_unique<AlertPresenter>(program_->settings, program_->traffic, program_->aliases);
  alert_forwarder_.target = alert_.get();
  connect(alert_.get(), &AlertPresenter::Closed, this,
          [this] { program_->rule_processing.AlertClosed(); });
  connect(alert_.get(), &AlertPresenter::MoveToDetails, this,
          [this](const MessageDetailsContent& content) {
            if (!details_) {
              details_ = new MessageDetailsWindow(program_->settings, program_->traffic);
              WireDetails();
            }
            details_->ShowDetails(content);
          });
  program_->capture.SetFailureHandler([this] { capture_->setChecked(false); });
  alias_windows_ = new AliasWindows(
      program_->aliases, program_->settings, *boxes_, this,
      [this](const std::string& terminal, const std::string& alias, AliasChange change) {
        terminals_model_->SetAlias(terminal, alias);
        if (change == AliasChange::kAssigned && terminals_sort_ == 1)
          terminals_model_->Sort(1, terminals_ascending_);
      });

  CreateActions();
  CreateMenus();
  CreateToolBar();
  CreateStatusBar();
  CreateViews();
  CreateTray();
  WireTimers();
}

MainForm::~MainForm() {
  if (!exited_) {
    // Nothing must reach the views once they start going.
    program_->acquisition.CloseAudioDevice();
  }
  program_->raw_data.Attach(nullptr);
  delete details_.data();
  delete raw_data_form_.data();
}

void MainForm::OptionsBridge::ApplyAlwaysOnTop(bool on) { SetTopmost(form->window(), on); }
void MainForm::OptionsBridge::StopMonitoring() { form->program_->monitoring.StopMonitoring(); }
void MainForm::OptionsBridge::StartMonitoring() { form->program_->monitoring.StartMonitoring(); }
void MainForm::OptionsBridge::ApplyPolarity(bool reversed) {
  Program& p = *form->program_;
  p.acquisition.SetSymbols(reversed);
  p.monitoring.RefreshStatus(p.capture.On());
  form->reverse_polarity_->setChecked(reversed);
}
void MainForm::OptionsBridge::ApplySettingsToWindows() { form->ApplyViewSettings(); }
void MainForm::OptionsBridge::ApplyMdtFont() { form->ApplyViewSettings(); }
void MainForm::OptionsBridge::ApplyMailSettings() { form->LoadMailConnection(); }

void MainForm::AlertForwarder::ShowAlert(const AlertContent& content) {
  target->ShowAlert(content);
}
void MainForm::AlertForwarder::SetReceived(std::string_view time) { target->SetReceived(time); }
void MainForm::AlertForwarder::SetMessageText(std::string_view text) {
  target->SetMessageText(text);
}

void MainForm::CreateActions() {
  const auto action = [this](QAction*& member, const char* name, const char* caption, auto slot) {
    member = new QAction(caption, this);
    member->setObjectName(name);
    connect(member, &QAction::triggered, this, slot);
  };
  action(load_profile_, "LoadProfileMenuItem", "&Load Profile...",
         [this] { LoadProfileCommand(); });
  action(save_profile_, "SaveProfileMenuItem", "&Save Profile", [this] { SaveProfileCommand(); });
  action(save_profile_as_, "SaveProfileAsMenuItem", "Save Profile &As...",
         [this] { SaveProfileAsCommand(); });
  action(capture_to_file_, "CaptureToFileMenuItem", "To &File", [this] { CaptureToFile(); });
  action(capture_to_printer_, "CaptureToPrinterMenuItem", "To &Printer",
         [this] { CaptureToPrinter(); });
  action(stop_capturing_, "StopCapturingMenuItem", "&Stop Capturing", [this] { StopCapturing(); });
  stop_capturing_->setEnabled(false);
  action(print_setup_, "PrintSetupMenuItem", "Print Set&up", [this] { PrintSetup(); });
  action(exit_, "ExitMenuItem", "E&xit", [this] { close(); });
  action(edit_copy_, "EditCopyMenuItem", "&Copy",
         [this] { QApplication::clipboard()->setText(Latin1(mdt_window_->SelectedText())); });
  edit_copy_->setEnabled(false);
  action(select_all_, "EditSelectAllMenuItem", "Select &All", [this] {
    mdt_window_->Flush();
    mdt_->setFocus();
    mdt_->selectAll();
    UpdateEditCopy();
  });
  action(clear_all_, "ClearAllMenuItem", "Clear All &Windows", [this] { ClearAllWindows(); });
  action(alerts_, "AlertsMenuItem", "&Alerts...", [] {});
  alerts_->setEnabled(false);
  action(raw_data_, "RawDataMenuItem", "&Raw Data Window", [this] { ToggleRawData(); });
  action(mail_status_item_, "MailStatusMenuItem", "&Mail Status", [this] { ShowMailStatus(); });
  action(outputs_item_, "OutputsMenuItem", "O&utputs", [this] { ShowOutputs(); });
  raw_data_->setCheckable(true);
  action(toolbar_item_, "ToolbarMenuItem", "&Toolbar", [this](bool on) {
    program_->settings.ToolBar = on;
    toolbar_->setVisible(on);
    LayoutViews();
  });
  toolbar_item_->setCheckable(true);
  toolbar_item_->setChecked(true);
  action(status_bar_item_, "StatusBarMenuItem", "&Status Bar", [this](bool on) {
    program_->settings.StatusBar = on;
    statusBar()->setVisible(on);
    LayoutViews();
  });
  status_bar_item_->setCheckable(true);
  status_bar_item_->setChecked(true);
  action(analyze_signal_, "AnalyzeSignalMenuItem", "&Analyze Signal...",
         [this] { RequestSignalCapture(); });
  analyze_signal_->setEnabled(false);
  action(options_, "OptionsMenuItem", "&Options...", [this] {
    ShowOptionsDialog({.settings = program_->settings,
                       .boxes = *boxes_,
                       .host = options_bridge_,
                       .choose_colour = SystemColourChooser(),
                       .choose_font = SystemFontChooser(),
                       .audio_inputs = SystemAudioInputs(),
                       .serial_ports = SystemSerialPorts(),
                       .platform = {.slicer_available = true},
                       .secrets = &secrets_,
                       .new_mail_control = NewPigeonMailControl,
                       .ask_file = ask_file_},
                      this);
  });
  action(terminal_alias_, "TerminalAliasMenuItem", "Assign Terminal &Alias...",
         [this] { alias_windows_->AssignAlias(); });
  action(hold_, "HoldMDTMenuItem", "&Hold MDT Display", [this] { ToggleHold(); });
  action(hold2_, "HoldMDTMenuItem2", "&Hold MDT Display", [this] { ToggleHold(); });
  hold_->setCheckable(true);
  hold2_->setCheckable(true);
  action(reverse_polarity_, "ReversePolarityMenuItem", "Reverse Polarity",
         [this] { ReversePolarity(); });
  reverse_polarity_->setCheckable(true);
  reverse_polarity_->setEnabled(false);
  action(monitor_, "MonitorMDTMenuItem", "Monitor MDT's", [this] {
    // The check mark is the monitoring state's to set; the click only asks for the change.
    const bool was_on = !monitor_->isChecked();
    monitor_->setChecked(was_on);
    if (was_on)
      program_->monitoring.StopMonitoring();
    else
      program_->monitoring.StartMonitoring();
  });
  monitor_->setCheckable(true);
  action(rules_item_, "ConfigureRulesMenuItem", "&Rules...", [this] { ShowRules(); });
  action(aliases_item_, "ConfigureAliasesMenuItem", "&Terminal Aliases...",
         [this] { alias_windows_->ShowConfigureWindow(); });
  action(home_page_, "HomePageMenuItem", "Kestrel &Home Page",
         [this] { OpenHelpPage("index.html"); });
  // F1 anywhere in the program opens the help pages.
  home_page_->setShortcut(QKeySequence::HelpContents);
  home_page_->setShortcutContext(Qt::ApplicationShortcut);
  action(faq_, "FAQMenuItem", "&Frequently Asked Questions", [this] { OpenHelpPage("faq.html"); });
  action(history_, "ReleaseHistoryMenuItem", "&Release History",
         [this] { OpenHelpPage("history.html"); });
  action(about_, "AboutMenuItem", "&About Kestrel...", [this] { ShowAbout(); });
  action(open_kestrel_, "OpenKestrelMenuItem", "&Open Kestrel", [this] { OpenKestrel(); });
  action(exit2_, "ExitMenuItem2", "E&xit", [this] { close(); });
  action(open_message_, "OpenMessageMenuItem", "&Open Message", [this] { OpenMessage(); });
  action(delete_message_, "DeleteMessageMenuItem", "&Delete Message",
         [this] { DeleteMessageRow(); });
  action(delete_all_rows_, "DeleteAllMessageRows", "Delete &All Rows",
         [this] { DeleteAllMessageRows(); });
  action(edit_alias_, "EditAliasMenuItem", "&Assign/Edit Alias", [this] {
    const std::optional<std::string> terminal = SelectedTerminal();
    if (terminal) alias_windows_->EditAlias(*terminal);
  });

  const auto button = [this](QAction*& member, const char* key, const char* tip, const char* theme,
                             auto slot) {
    member = new QAction(ToolbarIcon(key, theme), tip, this);
    member->setObjectName(key);
    member->setToolTip(tip);
    connect(member, &QAction::triggered, this, slot);
  };
  button(open_button_, "open", "Load profile", "document-open", [this] { LoadProfileCommand(); });
  button(save_button_, "save", "Save profile", "document-save", [this] { SaveProfileCommand(); });
  button(network_button_, "network", "", "network-workgroup", [this] { ShowClientsConnected(); });
  network_button_->setToolTip("0 clients connected");
  network_button_->setEnabled(false);
  button(play_button_, "play", "Start monitoring", "media-playback-start",
         [this] { program_->monitoring.StartMonitoring(); });
  button(stop_button_, "stop", "Stop monitoring", "media-playback-stop",
         [this] { program_->monitoring.StopMonitoring(); });
  stop_button_->setEnabled(false);
  button(hold_button_, "hold", "Hold MDT window", "media-playback-pause", [this] { ToggleHold(); });
  hold_button_->setCheckable(true);
}

void MainForm::CreateMenus() {
  QMenu* file = menuBar()->addMenu("&File");
  file->setObjectName("FileMenu");
  file->addActions({load_profile_, save_profile_, save_profile_as_});
  file->addSeparator();
  QMenu* capture = file->addMenu("&Capture...");
  capture->setObjectName("CaptureMenu");
  capture->addActions({capture_to_file_, capture_to_printer_});
  capture_ = capture->menuAction();
  capture_->setObjectName("CaptureMenuItem");
  file->addAction(stop_capturing_);
  file->addSeparator();
  file->addAction(print_setup_);
  file->addSeparator();
  file->addAction(exit_);

  QMenu* edit = menuBar()->addMenu("&Edit");
  edit->setObjectName("EditButton");
  edit->addActions({edit_copy_, select_all_});
  edit->addSeparator();
  edit->addAction(clear_all_);

  QMenu* view = menuBar()->addMenu("&View");
  view->setObjectName("ViewMenu");
  view->addActions({alerts_, raw_data_, mail_status_item_, outputs_item_});
  view->addSeparator();
  view->addActions({toolbar_item_, status_bar_item_});
  view->addSeparator();
  view->addActions({analyze_signal_, options_});

  QMenu* actions = menuBar()->addMenu("&Actions");
  actions->setObjectName("ActionsMenu");
  actions->addActions({terminal_alias_, hold_, reverse_polarity_, monitor_});

  QMenu* configure = menuBar()->addMenu("&Configure");
  configure->setObjectName("ConfigureMenu");
  configure->addActions({rules_item_, aliases_item_});

  QMenu* help = menuBar()->addMenu("&Help");
  help->setObjectName("HelpMenu");
  help->addActions({home_page_, faq_, history_});
  help->addSeparator();
  help->addAction(about_);

  tray_menu_ = new QMenu(this);
  tray_menu_->setObjectName("SystemTrayMenu");
  tray_menu_->addActions({open_kestrel_, exit2_});
  tray_menu_->setDefaultAction(open_kestrel_);
  messages_menu_ = new QMenu(this);
  messages_menu_->setObjectName("MessagesMenu");
  messages_menu_->addActions({open_message_, delete_message_, delete_all_rows_});
  messages_menu_->setDefaultAction(open_message_);
  aliases_menu_ = new QMenu(this);
  aliases_menu_->setObjectName("AliasesMenu");
  aliases_menu_->addAction(edit_alias_);
  main_form_menu_ = new QMenu(this);
  main_form_menu_->setObjectName("MainFormMenu");
  main_form_menu_->addAction(hold2_);
}

void MainForm::CreateToolBar() {
  toolbar_ = addToolBar("Toolbar");
  toolbar_->setObjectName("Toolbar");
  toolbar_->setMovable(false);
  toolbar_->setIconSize(QSize(24, 24));
  toolbar_->addActions({open_button_, save_button_});
  toolbar_->addSeparator();
  toolbar_->addAction(network_button_);
  toolbar_->addSeparator();
  toolbar_->addActions({play_button_, stop_button_});
  toolbar_->addSeparator();
  toolbar_->addAction(hold_button_);
  auto* spacer = new QWidget(toolbar_);
  spacer->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
  toolbar_->addWidget(spacer);
  activity_led_ = new QLabel(toolbar_);
  activity_led_->setObjectName("ActivityLED");
  activity_led_->setFixedSize(20, 20);
  activity_led_->setAlignment(Qt::AlignCenter);
  // A missing picture leaves the LED blank.
  const QPixmap led(QString::fromStdString(DataFilePath("LED_Green.gif")));
  if (!led.isNull())
    activity_led_->setPixmap(led.scaled(16, 16, Qt::KeepAspectRatio, Qt::SmoothTransformation));
  toolbar_->addWidget(activity_led_);
  activity_led_->setVisible(false);
  toolbar_->installEventFilter(this);
}

void MainForm::CreateStatusBar() {
  static const char* const kTips[] = {"", "Errors attempted to correct in last data",
                                      "The current time."};
  statusBar()->setObjectName("StatusBar");
  for (int i = 0; i < 3; ++i) {
    panels_[i] = new QLabel(this);
    panels_[i]->setObjectName(QString("StatusPanel%1").arg(i + 1));
    panels_[i]->setToolTip(kTips[i]);
    panels_[i]->setContentsMargins(4, 0, 4, 0);
    if (i == 0)
      statusBar()->addWidget(panels_[i], 1);
    else
      statusBar()->addPermanentWidget(panels_[i]);
  }
  panels_[1]->setMinimumWidth(panels_[1]->fontMetrics().horizontalAdvance("Errors: 00000"));
  panels_[2]->setMinimumWidth(panels_[2]->fontMetrics().horizontalAdvance("00:00:00"));
  statusBar()->installEventFilter(this);
}

void MainForm::CreateViews() {
  auto* central = new QWidget(this);
  central->setObjectName("MainFormBackground");
  setCentralWidget(central);
  mdt_->setParent(central);

  messages_model_ = std::make_unique<MessagesModel>(program_->messages_list, program_->settings);
  terminals_model_ = std::make_unique<TerminalsModel>();
  messages_ = MakeList(central, "Messages");
  messages_->setModel(messages_model_.get());
  terminals_ = MakeList(central, "Terminals");
  terminals_->setModel(terminals_model_.get());
  terminals_label_ = new QLabel("Active Terminals", central);
  terminals_label_->setObjectName("TerminalsLabel");
  mdt_label_ = new QLabel("MDT Display", central);
  mdt_label_->setObjectName("MDTDisplayLabel");
  vertical_splitter_ = new SplitterBar(Qt::Vertical, central);
  vertical_splitter_->setObjectName("VerticalSplitter");
  horizontal_splitter_ = new SplitterBar(Qt::Horizontal, central);
  horizontal_splitter_->setObjectName("HorizontalSplitter");
  vertical_splitter_->released = [this](int x) {
    MoveVerticalSplitter(PixelsToTwips(x, LogicalDpi(*this)));
  };
  horizontal_splitter_->released = [this](int y) {
    MoveHorizontalSplitter(PixelsToTwips(y, LogicalDpi(*this)));
  };
  vertical_splitter_->context_menu = [this](QPoint p) { main_form_menu_->popup(p); };
  horizontal_splitter_->context_menu = [this](QPoint p) { main_form_menu_->popup(p); };
  for (QWidget* w : {static_cast<QWidget*>(central), static_cast<QWidget*>(terminals_label_),
                     static_cast<QWidget*>(mdt_label_)})
    w->installEventFilter(this);

  terminals_model_->Append(kAll, "");

  for (QTreeView* view : {messages_, terminals_}) {
    view->viewport()->installEventFilter(this);
    view->installEventFilter(this);
  }
  mdt_->installEventFilter(this);
  mdt_->viewport()->installEventFilter(this);
  connect(mdt_, &QPlainTextEdit::textChanged, this, [this] { UpdateEditCopy(); });
  connect(mdt_, &QPlainTextEdit::selectionChanged, this, [this] { UpdateEditCopy(); });

  connect(messages_->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
          [this](const QModelIndex& current) {
            if (!messages_flag_ || !current.isValid()) return;
            ClickMessagesRow(current.row());
          });
  connect(messages_, &QTreeView::clicked, this, [this](const QModelIndex& index) {
    if (messages_flag_ && index.isValid()) ClickMessagesRow(index.row());
  });
  connect(messages_, &QTreeView::doubleClicked, this, [this] { OpenMessage(); });
  connect(terminals_->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
          [this](const QModelIndex& current) {
            if (!terminals_flag_ || !current.isValid()) return;
            ClickTerminalsRow(current.row());
          });
  connect(terminals_, &QTreeView::clicked, this, [this](const QModelIndex& index) {
    if (terminals_flag_ && index.isValid()) ClickTerminalsRow(index.row());
  });
  connect(terminals_, &QTreeView::doubleClicked, this, [this](const QModelIndex& index) {
    if (!index.isValid() || terminals_model_->Address(index.row()) == kAll) return;
    mdt_shows_message_ = false;
    alias_windows_->EditAlias(terminals_model_->Address(index.row()));
  });
  connect(messages_->header(), &QHeaderView::sectionClicked, this,
          [this](int column) { HandleSortClick(messages_, column); });
  connect(terminals_->header(), &QHeaderView::sectionClicked, this,
          [this](int column) { HandleSortClick(terminals_, column); });
}

void MainForm::CreateTray() {
  if (!QSystemTrayIcon::isSystemTrayAvailable()) return;
  tray_ = new QSystemTrayIcon(windowIcon(), this);
  tray_->setContextMenu(tray_menu_);
  connect(tray_, &QSystemTrayIcon::activated, this,
          [this](QSystemTrayIcon::ActivationReason reason) {
            if (reason == QSystemTrayIcon::DoubleClick || reason == QSystemTrayIcon::Trigger)
              OpenKestrel();
          });
}

void MainForm::WireTimers() {
  timer_.setInterval(250);
  connect(&timer_, &QTimer::timeout, this, [this] { program_->monitoring.Timer_Timer(); });
  status_timer_.setInterval(3000);
  connect(&status_timer_, &QTimer::timeout, this, [this] {
    program_->StatusTick();
    ShowMailStatusTip();
  });
  led_timer_.setInterval(700);
  led_timer_.setSingleShot(true);
  connect(&led_timer_, &QTimer::timeout, this, [this] { activity_led_->setVisible(false); });
  net_timer_.setInterval(65535);
  connect(&net_timer_, &QTimer::timeout, this, [this] { feed_->NetTimerTick(); });
  reconnect_timer_.setInterval(10000);
  connect(&reconnect_timer_, &QTimer::timeout, this, [this] { feed_->ReconnectTimerTick(); });
  clock_timer_.setInterval(1000);
  connect(&clock_timer_, &QTimer::timeout, this,
          [this] { panels_[2]->setText(QTime::currentTime().toString("hh:mm:ss")); });
}

QIcon MainForm::ToolbarIcon(const char* key, const char* theme) {
  const QIcon bundled(QString::fromStdString(DataFilePath(std::string("icons/") + key + ".svg")));
  return QIcon::fromTheme(theme, bundled);
}

void MainForm::ApplySettingsToWindows() {
  const Settings& s = program_->settings;
  const double dpi = LogicalDpi(*this);
  setGeometry(TwipsToPixels(s.MainLeft, dpi), TwipsToPixels(s.MainTop, dpi),
              TwipsToPixels(s.MainWidth, dpi), TwipsToPixels(s.MainHeight, dpi));
  messages_->setColumnWidth(0, TwipsToPixels(s.MessagesCol1, dpi));
  messages_->setColumnWidth(1, TwipsToPixels(s.MessagesCol2, dpi));
  terminals_->setColumnWidth(0, TwipsToPixels(s.TerminalsCol1, dpi));
  ApplyViewSettings();
}

void MainForm::ApplyViewSettings() {
  const Settings& s = program_->settings;
  toolbar_item_->setChecked(s.ToolBar);
  toolbar_->setVisible(s.ToolBar);
  status_bar_item_->setChecked(s.StatusBar);
  statusBar()->setVisible(s.StatusBar);
  ColourView(messages_, s.MessagesForeground, s.MessagesBackground);
  ColourView(terminals_, s.TerminalsForeground, s.TerminalsBackground);
  ColourView(mdt_, s.MDTForeground, s.MDTBackground);
  mdt_->setFont(MdtFont(s));
  rule_printer_->SetFont(MdtFont(s));
  reverse_polarity_->setChecked(s.SieveSource == kSieveSourceCOMPort ? s.COMPortReversePolarity
                                                                     : s.ReversePolarity);
  ResizeMDTWindow();
}

void MainForm::StoreWindowState() {
  Settings& s = program_->settings;
  const double dpi = LogicalDpi(*this);
  if (!isMinimized() && !isMaximized()) {
    const QRect g = geometry();
    s.MainLeft = PixelsToTwips(g.x(), dpi);
    s.MainTop = PixelsToTwips(g.y(), dpi);
    s.MainWidth = PixelsToTwips(g.width(), dpi);
    s.MainHeight = PixelsToTwips(g.height(), dpi);
  }
  s.MessagesCol1 = PixelsToTwips(messages_->columnWidth(0), dpi);
  s.MessagesCol2 = PixelsToTwips(messages_->columnWidth(1), dpi);
  s.MessagesCol4 = PixelsToTwips(messages_->columnWidth(3), dpi);
  s.TerminalsCol1 = PixelsToTwips(terminals_->columnWidth(0), dpi);
}

void MainForm::Start(bool minimized) {
  Program& p = *program_;
  ApplySettingsToWindows();
  LoadMailConnection();
  ShowMailStatusTip();
  ConfigureOutputs();
  if (p.settings.Monitoring)
    p.monitoring.StartMonitoring();
  else
    SetStatusPanel(1, "Not monitoring");
  SetTopmost(this, p.settings.AlwaysOnTop);
  if (p.rules.Count() == 0) p.rules.AddDefaultRules();
  status_timer_.start();
  clock_timer_.start();
  panels_[2]->setText(QTime::currentTime().toString("hh:mm:ss"));
  if (minimized)
    showMinimized();
  else
    show();
  SelectTerminalRow(0);
  if (!minimized) terminals_->setFocus();
  LayoutViews();
}

// ---- Layout ----

QRect MainForm::InnerRect() const { return centralWidget()->rect(); }

void MainForm::resizeEvent(QResizeEvent* event) {
  QMainWindow::resizeEvent(event);
  LayoutViews();
}

void MainForm::changeEvent(QEvent* event) {
  QMainWindow::changeEvent(event);
  if (event->type() != QEvent::WindowStateChange) return;
  if (isMinimized() && program_->settings.DisplayInSystemTray && tray_ != nullptr) {
    tray_->setToolTip(windowTitle().left(63));
    tray_->show();
    QTimer::singleShot(0, this, [this] { hide(); });
  }
}

void MainForm::LayoutViews() {
  if (isMinimized()) return;
  const Settings& s = program_->settings;
  const double dpi = LogicalDpi(*this);
  const QRect inner = InnerRect();
  const int w = inner.width();
  const int h = inner.height();
  const int split_y =
      std::clamp(TwipsToPixels(s.HorizontalSplitter, dpi), 0, std::max(0, h - kSplitterThickness));
  // The MDT display keeps room for MDTColumns characters where the window allows, the
  // Terminals list giving way down to the splitter's smallest place; the setting stays the
  // user's choice.
  const int smallest = TwipsToPixels(135, dpi);
  int split_x =
      std::min(TwipsToPixels(s.VerticalSplitter, dpi), w - mdt_width_ - kSplitterThickness);
  split_x = std::clamp(split_x, std::min(smallest, w), std::max(0, w - kSplitterThickness));
  messages_->setGeometry(0, 0, w, split_y);
  horizontal_splitter_->setGeometry(0, split_y, w, kSplitterThickness);
  const int lower = split_y + kSplitterThickness;
  const int label_height = terminals_label_->sizeHint().height() + 2;
  terminals_label_->setGeometry(4, lower, split_x - 4, label_height);
  terminals_->setGeometry(0, lower + label_height, split_x, std::max(0, h - lower - label_height));
  vertical_splitter_->setGeometry(split_x, lower, kSplitterThickness, std::max(0, h - lower));
  const int mdt_left = split_x + kSplitterThickness;
  mdt_label_->setGeometry(mdt_left + 4, lower, std::max(0, w - mdt_left - 4), label_height);
  mdt_->setGeometry(mdt_left, lower + label_height, std::max(0, w - mdt_left),
                    std::max(0, h - lower - label_height));
  // The last column takes what the others leave.
  messages_->setColumnWidth(2,
                            std::max(40, w - messages_->columnWidth(0) - messages_->columnWidth(1) -
                                             TwipsToPixels(s.MessagesCol4, dpi) - 24));
  terminals_->setColumnWidth(
      1, std::max(20, split_x - terminals_->columnWidth(0) - TwipsToPixels(75, dpi)));
}

void MainForm::ResizeMDTWindow() {
  const QFontMetrics metrics(mdt_->font());
  mdt_width_ = metrics.horizontalAdvance(QString(program_->settings.MDTColumns, QChar('W'))) +
               2 * mdt_->frameWidth() + int(mdt_->document()->documentMargin() * 2) +
               mdt_->verticalScrollBar()->sizeHint().width() + 4;
  LayoutViews();
}

void MainForm::MoveVerticalSplitter(double twips) {
  const double dpi = LogicalDpi(*this);
  program_->settings.VerticalSplitter =
      ClampVerticalSplitter(twips, PixelsToTwips(InnerRect().width(), dpi));
  LayoutViews();
}

void MainForm::MoveHorizontalSplitter(double twips) {
  const double dpi = LogicalDpi(*this);
  program_->settings.HorizontalSplitter =
      ClampHorizontalSplitter(twips, PixelsToTwips(InnerRect().height(), dpi));
  LayoutViews();
}

// ---- MainView ----

void MainForm::TrafficSeen() {
  if (!toolbar_->isVisible() || !program_->settings.ActivityLED) return;
  activity_led_->setVisible(true);
  led_timer_.start();
}

void MainForm::SetStatusText(std::string_view text) { SetStatusPanel(1, text); }

void MainForm::RestartAcquisitionTimer() {
  if (timer_.isActive()) timer_.start();
}

void MainForm::AppendTerminalRow(std::string_view address, std::string_view alias) {
  terminals_model_->Append(std::string(address), std::string(alias));
}

std::optional<std::string> MainForm::SelectedTerminal() const {
  const QModelIndexList rows = terminals_->selectionModel()->selectedRows();
  if (rows.isEmpty()) return std::nullopt;
  return terminals_model_->Address(rows.first().row());
}

bool MainForm::Minimised() const { return isMinimized() || (tray_ && !isVisible()); }

bool MainForm::HasMessagesRow(int32_t tag) const { return program_->messages_list.Find(tag) >= 0; }

std::optional<int32_t> MainForm::SelectedMessagesRow() const {
  const QModelIndexList rows = messages_->selectionModel()->selectedRows();
  if (rows.isEmpty()) return std::nullopt;
  return messages_model_->Tag(rows.first().row());
}

bool MainForm::MessageDetailsVisible() const { return details_ && details_->isVisible(); }

void MainForm::DisplayMessageDetails(bool details_window, int32_t tag) {
  const std::optional<MessageDetailsText> details = program_->MessageDetails(tag);
  if (!details) return;
  if (!details_window) {
    mdt_window_->SetText(details->mdt_text);
    return;
  }
  if (!details_) {
    details_ = new MessageDetailsWindow(program_->settings, program_->traffic);
    WireDetails();
  }
  details_->ShowDetails({"Message Details", details->type, details->received, details->terminal,
                         details->traffic_button, details->body});
  details_->SetNavigationEnabled(true);
}

void MainForm::WireDetails() {
  connect(details_, &MessageDetailsWindow::PreviousClicked, this, [this] { MoveDetails(-1); });
  connect(details_, &MessageDetailsWindow::NextClicked, this, [this] { MoveDetails(1); });
  connect(details_, &MessageDetailsWindow::Closed, this, [this] { message_details_open_ = false; });
}

void MainForm::MoveDetails(int step) {
  const std::optional<int32_t> selected = SelectedMessagesRow();
  if (!selected) {
    details_->SetNavigationEnabled(false);
    return;
  }
  const int row = program_->messages_list.Find(*selected) + step;
  if (row < 0 || row >= messages_model_->rowCount()) return;
  const QModelIndex index = messages_model_->index(row, 0);
  messages_->setCurrentIndex(index);
  messages_->scrollTo(index);
  DisplayMessageDetails(true, messages_model_->Tag(row));
}

// ---- MonitoringView ----

void MainForm::SetStatusPanel(int panel, std::string_view text) {
  // Panel 3 is the clock.
  if (panel == 1 || panel == 2) panels_[panel - 1]->setText(Utf8(text));
}

void MainForm::SetAcquisitionTimer(bool enabled) {
  if (enabled)
    timer_.start();
  else
    timer_.stop();
}

void MainForm::SetNetTimer(bool enabled) {
  if (enabled)
    net_timer_.start();
  else
    net_timer_.stop();
}

void MainForm::SetReconnectTimer(bool enabled) {
  if (enabled)
    reconnect_timer_.start();
  else
    reconnect_timer_.stop();
}

void MainForm::SetFileQuestion(FileQuestion question) {
  ask_file_ = std::move(question);
  alias_windows_->SetFileQuestion(ask_file_);
}

void MainForm::ShowRules() {
  Program& p = *program_;
  RuleDialogHooks hooks;
  hooks.alert = AlertSettingsHook(p.settings);
  hooks.log_message = LogMessageSettingsHook(p.settings, *boxes_);
  hooks.email = EMailSettingsHook(p.settings, *boxes_, *clock_);
  ShowRulesWindow(rules_window_, p.rules, p.settings, *boxes_, this, ask_file_, hooks);
}

void MainForm::ShowClientsConnected() {
  const Settings& s = program_->settings;
  if (s.SieveSource == kSieveSourceNetwork) return;
  if (clients_window_)
    clients_window_->SetHosts(feed_->ClientHosts());
  else
    clients_window_ = new ClientsConnected(feed_->ClientHosts(), s.AlwaysOnTop, this);
  BringToFront(clients_window_);
}

void MainForm::ShowMailStatus() {
  if (!mail_status_) mail_status_ = new MailStatusWindow(program_->email, this);
  BringToFront(mail_status_);
}

void MainForm::ShowMailStatusTip() { panels_[0]->setToolTip(Utf8(program_->email.StatusText())); }

void MainForm::ShowOutputs() {
  if (!outputs_window_) {
    outputs_window_ = new OutputsWindow([this] { return program_->station.Statuses(); }, this);
    outputs_window_->setWindowFlag(Qt::Window);
  }
  BringToFront(outputs_window_);
}

void MainForm::ConfigureOutputs() {
  Program& p = *program_;
  kestrel::ConfigureOutputs(p.station, p.settings.CurrentProfile, kOutputsFinishWait,
                            [](std::string_view line) { LogProgramEvent(line); });
  p.station.SetSource([&p] { return SourceName(p.settings, false); });
}

void MainForm::LoadMailConnection() {
  std::string error;
  program_->email.SetConnection(kestrel::LoadMailConnection(program_->settings, secrets_, error));
  if (!error.empty()) LogProgramEvent("E-mail: " + error);
}

void MainForm::SetPlayEnabled(bool enabled) { play_button_->setEnabled(enabled); }
void MainForm::SetStopEnabled(bool enabled) { stop_button_->setEnabled(enabled); }

void MainForm::SetNetworkButton(bool enabled, std::string_view tool_tip) {
  network_button_->setEnabled(enabled);
  network_button_->setToolTip(Utf8(tool_tip));
}

void MainForm::SetMonitorChecked(bool checked) { monitor_->setChecked(checked); }
void MainForm::SetAnalyzeSignalEnabled(bool enabled) { analyze_signal_->setEnabled(enabled); }
void MainForm::SetReversePolarityEnabled(bool enabled) { reverse_polarity_->setEnabled(enabled); }

// ---- Lists ----

void MainForm::SelectMessagesTag(int32_t tag) {
  const int row = program_->messages_list.Find(tag);
  if (row < 0) return;
  const bool flag = messages_flag_;
  messages_flag_ = false;
  messages_->setCurrentIndex(messages_model_->index(row, 0));
  messages_flag_ = flag;
}

void MainForm::SelectTerminalRow(int row) {
  if (row < 0 || row >= terminals_model_->rowCount()) return;
  const bool flag = terminals_flag_;
  terminals_flag_ = false;
  terminals_->setCurrentIndex(terminals_model_->index(row, 0));
  terminals_flag_ = flag;
}

void MainForm::ClickMessagesRow(int row) {
  messages_flag_ = false;
  const int32_t tag = messages_model_->Tag(row);
  if (tag == 0) return;
  DisplayMessageDetails(false, tag);
  mdt_shows_message_ = true;
  terminals_->selectionModel()->clearSelection();
}

void MainForm::ClickTerminalsRow(int row) {
  terminals_flag_ = false;
  if (row < 0 || row >= terminals_model_->rowCount()) return;
  program_->mdt.RefillMDTDisplay(terminals_model_->Address(row));
  mdt_shows_message_ = false;
  messages_->selectionModel()->clearSelection();
}

void MainForm::OpenMessage() {
  const std::optional<int32_t> tag = SelectedMessagesRow();
  if (!tag) return;
  message_details_open_ = true;
  mdt_shows_message_ = true;
  DisplayMessageDetails(true, *tag);
}

void MainForm::DeleteMessageRow() {
  const std::optional<int32_t> tag = SelectedMessagesRow();
  if (!tag) return;
  const int position = program_->messages_list.Find(*tag);
  program_->DeleteMessage(*tag);
  const int count = messages_model_->rowCount();
  if (count > 0) {
    const int row = std::min(position, count - 1);
    SelectMessagesTag(messages_model_->Tag(row));
    DisplayMessageDetails(false, messages_model_->Tag(row));
    return;
  }
  terminals_->setFocus();
  const QModelIndexList rows = terminals_->selectionModel()->selectedRows();
  ClickTerminalsRow(rows.isEmpty() ? 0 : rows.first().row());
}

void MainForm::DeleteAllMessageRows() {
  while (messages_model_->rowCount() > 0) program_->DeleteMessage(messages_model_->Tag(0));
  const QModelIndexList rows = terminals_->selectionModel()->selectedRows();
  if (!rows.isEmpty()) ClickTerminalsRow(rows.first().row());
}

void MainForm::ClearAllWindows() {
  DeleteAllMessageRows();
  program_->ClearTraffic(terminals_model_->Addresses());
  terminals_model_->Clear();
  terminals_model_->Append(kAll, "");
  SelectTerminalRow(0);
  ClickTerminalsRow(0);
  mdt_window_->SetText("");
}

void MainForm::HandleSortClick(QTreeView* view, int column) {
  const bool messages = view == messages_;
  std::optional<int>& sorted = messages ? messages_sort_ : terminals_sort_;
  bool& ascending = messages ? messages_ascending_ : terminals_ascending_;
  ascending = sorted == column ? !ascending : true;
  sorted = column;
  if (messages) {
    const std::optional<int32_t> tag = SelectedMessagesRow();
    program_->messages_list.Sort(MessagesList::Column(column), ascending);
    if (tag) SelectMessagesTag(*tag);
  } else {
    terminals_model_->Sort(column, ascending);
  }
}

void MainForm::ShowMessagesMenu(const QPoint& global) {
  const bool selected = SelectedMessagesRow().has_value();
  open_message_->setEnabled(selected);
  delete_message_->setEnabled(selected);
  delete_all_rows_->setEnabled(messages_model_->rowCount() > 0);
  messages_menu_->popup(global);
}

bool MainForm::eventFilter(QObject* watched, QEvent* event) {
  const bool messages = watched == messages_ || watched == messages_->viewport();
  const bool terminals = watched == terminals_ || watched == terminals_->viewport();
  switch (event->type()) {
    case QEvent::MouseButtonPress:
      if (messages) messages_flag_ = true;
      if (terminals) terminals_flag_ = true;
      break;
    case QEvent::KeyPress: {
      auto* key = static_cast<QKeyEvent*>(event);
      if (NavigationKey(key)) {
        if (messages) messages_flag_ = true;
        if (terminals) terminals_flag_ = true;
      }
      const bool plain = key->modifiers() == Qt::NoModifier;
      if (messages && plain && key->key() == Qt::Key_Delete) {
        DeleteMessageRow();
        return true;
      }
      if (messages && plain && (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter)) {
        OpenMessage();
        return true;
      }
      break;
    }
    case QEvent::KeyRelease:
      if (watched == mdt_) UpdateEditCopy();
      break;
    case QEvent::FocusIn:
      if (watched == terminals_) mdt_shows_message_ = false;
      break;
    case QEvent::MouseButtonRelease: {
      auto* mouse = static_cast<QMouseEvent*>(event);
      if (watched == mdt_->viewport()) UpdateEditCopy();
      if (mouse->button() != Qt::RightButton) break;
      const QPoint global = mouse->globalPosition().toPoint();
      if (messages) {
        ShowMessagesMenu(global);
        return true;
      }
      if (terminals) {
        const QModelIndex index =
            terminals_->indexAt(terminals_->viewport()->mapFromGlobal(global));
        if (index.isValid() && terminals_model_->Address(index.row()) != kAll)
          aliases_menu_->popup(global);
        return true;
      }
      if (watched == centralWidget() || watched == terminals_label_ || watched == mdt_label_ ||
          watched == statusBar() || watched == toolbar_) {
        main_form_menu_->popup(global);
        return true;
      }
      break;
    }
    default:
      break;
  }
  return QMainWindow::eventFilter(watched, event);
}

void MainForm::contextMenuEvent(QContextMenuEvent* event) { event->accept(); }

void MainForm::UpdateEditCopy() { edit_copy_->setEnabled(mdt_->textCursor().hasSelection()); }

// ---- Commands ----

void MainForm::ToggleHold() {
  const bool on = !program_->mdt.Hold();
  program_->mdt.SetHold(on);
  for (QAction* a : {hold_, hold2_, hold_button_}) a->setChecked(on);
}

void MainForm::ReversePolarity() {
  // The check mark follows the setting the command toggles (only the mark with the network).
  program_->ReversePolarity();
  const Settings& s = program_->settings;
  if (s.SieveSource == kSieveSourceSoundCard)
    reverse_polarity_->setChecked(s.ReversePolarity);
  else if (s.SieveSource == kSieveSourceCOMPort)
    reverse_polarity_->setChecked(s.COMPortReversePolarity);
}

void MainForm::EndCaptureMenus() {
  capture_->setEnabled(true);
  stop_capturing_->setEnabled(false);
}

void MainForm::CaptureToFile() {
  const std::string proposed = JoinPath(ConfigDirectory(), ProposedCaptureFileName(clock_->Now()));
  const std::string path = AskFile(ask_file_, this, FileDialogMode::kSave, "Capture To File",
                                   proposed, "*.txt;;*.doc;;*.hex;;*.dat", "txt");
  if (path.empty()) return;
  capture_->setEnabled(false);
  stop_capturing_->setEnabled(true);
  if (!program_->capture.StartToFile(path)) {
    EndCaptureMenus();
    boxes_->Show("Unable to write to capture file.\r\n\r\n" + path, "Error Capturing Data",
                 MessageBoxes::Icon::kExclamation, MessageBoxes::Buttons::kOk);
  }
}

void MainForm::CaptureToPrinter() {
  if (!capture_printer_) {
    capture_printer_ = std::make_unique<QtPrinter>(mdt_->font());
    capture_printer_->SetPrinterName(printer_name_);
  }
  capture_printer_->SetFont(mdt_->font());
  capture_->setEnabled(false);
  stop_capturing_->setEnabled(true);
  program_->capture.StartToPrinter(*capture_printer_);
}

void MainForm::StopCapturing() {
  EndCaptureMenus();
  program_->capture.Stop();
  SetStatusPanel(1, program_->settings.Monitoring ? "Monitoring" : "Not monitoring");
}

void MainForm::ToggleRawData() {
  if (raw_data_form_) {
    raw_data_form_->close();
    return;
  }
  raw_data_form_ = new RawDataForm();
  raw_data_form_->setAttribute(Qt::WA_DeleteOnClose);
  SetTopmost(raw_data_form_, program_->settings.AlwaysOnTop);
  program_->raw_data.Attach(&raw_data_form_->Text());
  connect(raw_data_form_, &RawDataForm::HexToggled, this,
          [this](bool on) { program_->raw_data.SetHex(on); });
  connect(raw_data_form_, &RawDataForm::Closed, this, [this] {
    program_->raw_data.Attach(nullptr);
    raw_data_->setChecked(false);
  });
  raw_data_form_->SetHex(program_->raw_data.Hex());
  raw_data_->setChecked(true);
  raw_data_form_->show();
}

void MainForm::PrintSetup() {
  QPrinter printer;
  if (!printer_name_.isEmpty()) printer.setPrinterName(printer_name_);
  QPrintDialog dialog(&printer, this);
  dialog.setWindowTitle("Print Setup");
  if (dialog.exec() != QDialog::Accepted) return;
  printer_name_ = printer.printerName();
  rule_printer_->SetPrinterName(printer_name_);
  if (capture_printer_) capture_printer_->SetPrinterName(printer_name_);
}

void MainForm::RequestSignalCapture() {
  if (!program_->settings.Monitoring) {
    boxes_->Show("Not currently monitoring, must be monitoring to analyze signal.", "Kestrel",
                 MessageBoxes::Icon::kNone, MessageBoxes::Buttons::kOk);
    return;
  }
  program_->acquisition.RequestCapture();
  if (!capture_status_) capture_status_ = std::make_unique<StatusWindow>(this);
  SetTopmost(capture_status_.get(), program_->settings.AlwaysOnTop);
  capture_status_->Show("Please wait...", "Collecting signal information...", 0);
}

void MainForm::ShowSignalCapture() {
  QMetaObject::invokeMethod(
      this, [this] { ShowSignalInformation(); }, Qt::QueuedConnection);
}

void MainForm::ShowSignalInformation() {
  Program& p = *program_;
  const bool rm100 = p.settings.SieveSource == kSieveSourceCOMPort &&
                     p.settings.COMPortDevice == kCOMPortDeviceRM100;
  // No further input arrives from the receiver interface while the window draws.
  if (rm100) {
    p.monitoring.StopMonitoring();
    SetStatusPanel(1, "Collecting signal information...");
  }
  const SignalCapture capture =
      TakeSignalCapture(AnalysisRate(p.settings), PolaritySign(p.settings));
  if (!analysis_) {
    analysis_ = new AnalysisWindow(p.settings.AlwaysOnTop, this);
    connect(analysis_, &AnalysisWindow::RefreshClicked, this, [this] { RequestSignalCapture(); });
  }
  analysis_->show();
  analysis_->raise();
  analysis_->Draw(capture);
  p.acquisition.RestartDecoding();
  SetStatusPanel(1, "Monitoring");
  if (capture_status_) capture_status_->Close();
  if (rm100) p.monitoring.StartMonitoring();
}

void MainForm::OpenKestrel() {
  if (tray_) tray_->hide();
  showNormal();
  activateWindow();
  if (const std::optional<int32_t> tag = SelectedMessagesRow()) SelectMessagesTag(*tag);
  const std::optional<std::string> terminal = SelectedTerminal();
  program_->mdt.RefillMDTDisplay(terminal ? *terminal : kAll);
}

void MainForm::ShowAbout() {
  AboutBox about(program_->settings.AlwaysOnTop, this);
  about.exec();
}

void MainForm::OpenHelpPage(const char* page) {
  QDesktopServices::openUrl(QUrl::fromLocalFile(QString::fromStdString(DataFilePath(page))));
}

void MainForm::LoadProfileCommand() {
  const std::string path =
      AskFile(ask_file_, this, FileDialogMode::kOpen, "Load Profile", "", "*.ini", "ini");
  if (path.empty()) return;
  std::string caption;
  Program& p = *program_;
  ProfileLoadReport report;
  const bool loaded = LoadProfile(path, p.Stores(), &caption, &report);
  for (const std::string& warning : report.warnings) LogProgramEvent(warning);
  if (!loaded) {
    const std::string failure = ProfileLoadFailureText(path, report);
    LogProgramEvent(failure);
    boxes_->Show(failure, "Error Loading Profile", MessageBoxes::Icon::kExclamation,
                 MessageBoxes::Buttons::kOk);
    return;
  }
  setWindowTitle(Utf8(caption));
  ApplySettingsToWindows();
  LoadMailConnection();
  ConfigureOutputs();
  if (rules_window_) rules_window_->Reload();
  if (p.settings.Monitoring) {
    p.monitoring.StopMonitoring();
    p.monitoring.StartMonitoring();
  }
}

void MainForm::SaveProfileCommand() {
  Program& p = *program_;
  if (p.settings.CurrentProfile.empty()) return SaveProfileAsCommand();
  SaveTo(p.settings.CurrentProfile);
}

void MainForm::SaveProfileAsCommand() {
  Program& p = *program_;
  const std::string path = AskFile(ask_file_, this, FileDialogMode::kSave, "Save Profile As",
                                   p.settings.CurrentProfile, "*.ini", "ini");
  if (path.empty()) return;
  p.rules.SetChanged(true);
  p.aliases.SetChanged(true);
  SaveTo(path);
}

void MainForm::SaveTo(const std::string& path) {
  StoreWindowState();
  std::string caption;
  StatusWindow status(this);
  std::string failure;
  if (!SaveProfile(path, true, program_->Stores(), {isMinimized(), &status}, &caption, &failure))
    return ReportSaveFailure(path, failure);
  setWindowTitle(Utf8(caption));
}

void MainForm::ReportSaveFailure(const std::string& path, const std::string& failure) {
  LogProgramEvent("Unable to save profile to " + path + ": " + failure);
  boxes_->Show("Unable to save profile to " + path + "\n\n" + failure, "Error Saving Profile",
               MessageBoxes::Icon::kExclamation, MessageBoxes::Buttons::kOk);
}

// ---- Exit ----

void MainForm::closeEvent(QCloseEvent* event) {
  if (exited_) return event->accept();
  if (exit_in_progress_ || !ExitSequence(true)) return event->ignore();
  event->accept();
}

bool MainForm::ExitSequence(bool ask) {
  if (exit_in_progress_ || exited_) return false;
  exit_in_progress_ = true;
  Program& p = *program_;
  StoreWindowState();
  if (on_before_save_) on_before_save_(p.settings);
  const ExitSave choice = p.ExitSaveChoice(ask);
  if (choice == ExitSave::kCancelled) {
    exit_in_progress_ = false;
    return false;
  }
  // The alert and details windows keep their places in the settings as they close.
  alert_->CloseWindow();
  if (details_) details_->close();
  StatusWindow status(this);
  std::string failure;
  if (!p.SaveForExit(choice, {isMinimized(), ask ? &status : nullptr}, &failure))
    ReportSaveFailure(p.settings.CurrentProfile, failure);
  if (tray_) tray_->hide();
  p.capture.Stop();
  if (raw_data_form_) raw_data_form_->close();
  if (p.acquisition.DeviceOpen()) p.acquisition.CloseAudioDevice();
  // Clients are dropped by a serving Kestrel; a receiving one tells its server it has gone, so
  // the server stops feeding it at once rather than after five minutes.
  if (p.settings.SieveSource == kSieveSourceNetwork)
    feed_->DisconnectFromServer();
  else
    feed_->CloseClients();
  if (p.rule_processing.PrinterStarted()) p.rule_processing.EndPrinting();
  for (QTimer* t :
       {&timer_, &status_timer_, &led_timer_, &net_timer_, &reconnect_timer_, &clock_timer_})
    t->stop();
  p.station.Finish(kOutputsFinishWait);
  exited_ = true;
  exit_in_progress_ = false;
  // A message left open (a signal may come while one waits for the user) would hold the
  // program in its own event loop.
  while (QWidget* modal = QApplication::activeModalWidget()) {
    modal->close();
    if (QApplication::activeModalWidget() == modal) break;
  }
  QApplication::quit();
  return true;
}

}  // namespace kestrel
