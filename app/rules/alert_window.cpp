#include "app/rules/alert_window.h"

#include <QCloseEvent>
#include <QEvent>
#include <QFontMetricsF>
#include <QLabel>
#include <QPalette>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <algorithm>

#include "app/profile/set_topmost.h"
#include "app/rules/alert_layout.h"
#include "app/ui/mdt_font.h"
#include "app/ui/widget_helpers.h"
#include "app/ui/window_geometry.h"

namespace kestrel {

namespace {

// Design measures of the controls that Resize leaves where they are, twips.
constexpr double kMargin = 120;
constexpr double kLabelTop = 120;
constexpr double kLabelHeight = 255;
constexpr double kLabelGap = 60;
constexpr double kMessageTop = 480;
// The most a button may be high: the box ends 400 twips above the buttons' bottom.
constexpr double kMaxButtonHeight = 375;
constexpr double kCloseWidth = 1000;
constexpr double kTrafficWidth = 1000;
constexpr double kMoveWidth = 2200;
constexpr double kReceivedLabelWidth = 1100;
constexpr double kDesignHeight = 4200;

}  // namespace

AlertWindow::AlertWindow(Settings& settings, const TrafficClass& traffic,
                         const TerminalAliases& aliases, QWidget* parent)
    : QWidget(parent, Qt::Window),
      settings_(settings),
      traffic_(traffic),
      aliases_(aliases),
      move_(NewButton("MoveButton", "Move To Details Window", this)),
      message_(new QPlainTextEdit(this)),
      close_(NewButton("CloseButton", "Close", this)),
      traffic_button_(NewButton("TrafficButton", QString(), this)),
      received_(NewLabel("Received", "00:00:00", this)),
      received_label_(NewLabel("ReceivedLabel", "Received:", this)),
      terminal_(NewLabel("Terminal", QString(), this)),
      terminal_label_(NewLabel("TerminalLabel", "To:", this)),
      text_(message_) {
  setObjectName("Alert");
  setAttribute(Qt::WA_DeleteOnClose);
  message_->setObjectName("Message");
  message_->setReadOnly(true);
  message_->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
  message_->setLineWrapMode(QPlainTextEdit::NoWrap);
  received_label_->setAlignment(Qt::AlignRight | Qt::AlignVCenter);

  // Design positions; Resize moves the rest.
  const int label_height = std::max(ToPixels(*this, kLabelHeight), terminal_->sizeHint().height());
  const int label_top = ToPixels(*this, kLabelTop);
  terminal_label_->setGeometry(ToPixels(*this, kMargin), label_top,
                               terminal_label_->sizeHint().width(), label_height);
  terminal_->setGeometry(terminal_label_->geometry().right() + 1 + ToPixels(*this, kLabelGap),
                         label_top, 0, label_height);
  received_label_->resize(
      std::max(ToPixels(*this, kReceivedLabelWidth), received_label_->sizeHint().width()),
      label_height);
  received_->resize(received_->sizeHint().width(), label_height);
  received_label_->move(0, label_top);
  received_->move(0, label_top);
  message_->move(ToPixels(*this, kMargin), ToPixels(*this, kMessageTop));

  // Load.
  message_->setFont(MdtFont(settings_));
  QPalette palette = message_->palette();
  palette.setColor(QPalette::Base, ToQColor(settings_.MDTBackground, Qt::black));
  palette.setColor(QPalette::Text, ToQColor(settings_.MDTForeground, Qt::green));
  message_->setPalette(palette);
  resize(width(), ToPixels(*this, kDesignHeight - kFrameHeightTwips));
  RestoreWindowGeometry(*this, settings_.AlertTop, settings_.AlertLeft, settings_.AlertHeight);
  SetTopmost(this, settings_.AlwaysOnTop);
  LayOut();

  connect(move_, &QPushButton::clicked, this, &AlertWindow::MoveMessage);
  connect(close_, &QPushButton::clicked, this, &QWidget::close);
  connect(traffic_button_, &QPushButton::clicked, this, &AlertWindow::ShowTraffic);
}

void AlertWindow::Fill(const AlertContent& content) {
  setWindowTitle(Utf8(content.caption));
  shown_terminal_ = content.terminal;
  terminal_->setText(Utf8(content.terminal));
  SetReceived(content.received);
  text_.SetText({});
  traffic_button_->setText(Utf8(content.traffic_button));
  text_.SetText(content.text);
  text_.MoveCaretToStart();
  // A rule's colours last for its alert only.
  QPalette palette = message_->palette();
  palette.setColor(QPalette::Base,
                   ToQColor(content.background.value_or(settings_.MDTBackground), Qt::black));
  palette.setColor(QPalette::Text,
                   ToQColor(content.foreground.value_or(settings_.MDTForeground), Qt::green));
  message_->setPalette(palette);
  LayOut();
}

void AlertWindow::SetReceived(std::string_view time) {
  received_text_ = time;
  received_->setText(Utf8(time));
}

void AlertWindow::SetMessageText(std::string_view text) { text_.SetText(text); }

void AlertWindow::FocusMessage() { message_->setFocus(); }

void AlertWindow::LayOut() {
  const auto twips = [this](double pixels) { return ToTwips(*this, pixels); };
  const auto pixels = [this](double twips) { return ToPixels(*this, twips); };
  const auto button_width = [&](QPushButton* button, double design) {
    return std::max(design, twips(button->sizeHint().width()));
  };

  AlertLayoutInput in;
  in.window_width = twips(width()) + kFrameWidthTwips;
  in.window_height = twips(height()) + kFrameHeightTwips;
  in.width_fixed = isMinimized() || isMaximized() || isFullScreen();
  if (const QScreen* s = screen()) in.max_window_width = twips(s->availableGeometry().width());
  in.message_left = twips(message_->x());
  in.message_top = twips(message_->y());
  in.message_height = twips(message_->height());
  in.glyph_width = twips(QFontMetricsF(message_->font()).horizontalAdvance('i'));
  in.mdt_columns = settings_.MDTColumns;
  in.close_width = button_width(close_, kCloseWidth);
  in.traffic_width = button_width(traffic_button_, kTrafficWidth);
  in.move_width = button_width(move_, kMoveWidth);
  in.button_height = std::min(kMaxButtonHeight, twips(close_->sizeHint().height()));
  in.buttons_top = twips(close_->y());
  in.received_label_width = twips(received_label_->width());
  in.received_width = twips(received_->width());
  in.received_left = twips(received_->x());
  in.received_label_left = twips(received_label_->x());
  const AlertLayout out = LayOutAlert(in);

  message_->setGeometry(message_->x(), message_->y(), pixels(out.message_width),
                        pixels(out.message_height));
  const int buttons_top = pixels(out.buttons_top);
  const int button_height = pixels(in.button_height);
  close_->setGeometry(pixels(out.close_left), buttons_top, pixels(in.close_width), button_height);
  traffic_button_->setGeometry(pixels(out.traffic_left), buttons_top, pixels(in.traffic_width),
                               button_height);
  move_->setGeometry(pixels(out.move_left), buttons_top, pixels(in.move_width), button_height);
  received_->move(pixels(out.received_left), received_->y());
  received_label_->move(pixels(out.received_label_left), received_label_->y());
  // The terminal and its alias take the room up to the received labels.
  terminal_->resize(std::max(0, received_label_->x() - ToPixels(*this, kLabelGap) - terminal_->x()),
                    terminal_->height());
  const int client_width = pixels(out.window_width - kFrameWidthTwips);
  if (client_width == width()) width_requests_ = 0;
  // A window manager that insists on its own width is given it after a second try, rather than
  // being asked again on every resize it answers.
  if (!in.width_fixed && client_width != width() && width_requests_ < 2) {
    ++width_requests_;
    resize(client_width, height());
  }
}

std::string AlertWindow::Number() const {
  return shown_terminal_.substr(0, shown_terminal_.find(' '));
}

void AlertWindow::ShowTraffic() {
  const std::string number = Number();
  text_.SetText(traffic_.Retrieve(number));
  SetReceived({});
  const std::string alias = aliases_.Alias(number);
  setWindowTitle(Utf8("Traffic to " + number + (alias.empty() ? "" : " (" + alias + ")")));
}

void AlertWindow::MoveMessage() {
  MessageDetailsContent content;
  content.caption = windowTitle().toStdString();
  content.type = content.caption;
  content.received = received_text_;
  content.terminal = shown_terminal_;
  content.traffic_button = "To " + Number();
  content.text = text_.Text();
  emit MoveToDetails(content);
  close();
}

void AlertWindow::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  LayOut();
}

void AlertWindow::closeEvent(QCloseEvent* event) {
  StoreWindowGeometry(*this, settings_.AlertTop, settings_.AlertLeft, settings_.AlertHeight);
  event->accept();
  emit Closed();
}

bool AlertWindow::event(QEvent* event) {
  if (event->type() == QEvent::WindowActivate) FocusMessage();
  return QWidget::event(event);
}

}  // namespace kestrel
