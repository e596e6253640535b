#include "app/display/message_details_window.h"

#include <QCloseEvent>
#include <QFontMetricsF>
#include <QHBoxLayout>
#include <QLabel>
#include <QPalette>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>
#include <algorithm>

#include "app/profile/set_topmost.h"
#include "app/ui/mdt_font.h"
#include "app/ui/widget_helpers.h"
#include "app/ui/window_geometry.h"

namespace kestrel {

namespace {

// Design measures, twips.
constexpr double kMargin = 120;
constexpr double kRowGap = 50;          // the text box sits this far below the row above it
constexpr double kTypeRowHeight = 250;  // so the box's top is the type label's top + 300
constexpr double kButtonsGap = 120;
constexpr double kMessagePadding = 450;  // borders and scroll bar around one MDT line
constexpr double kDesignMinWidth = 6000;
constexpr double kDesignHeight = 5400;

}  // namespace

MessageDetailsWindow::MessageDetailsWindow(Settings& settings, const TrafficClass& traffic,
                                           QWidget* parent)
    : QWidget(parent, Qt::Window),
      settings_(settings),
      traffic_(traffic),
      message_(new QPlainTextEdit(this)),
      text_(message_) {
  setObjectName("MessageDetails");
  setWindowTitle("Message Details");
  setAttribute(Qt::WA_DeleteOnClose);

  terminal_label_ = NewLabel("TerminalLabel", "To:", this);
  terminal_ = NewLabel("Terminal", QString(), this);
  type_label_ = NewLabel("TypeLabel", "Type:", this);
  message_type_ = NewLabel("MessageType", QString(), this);
  received_label_ = NewLabel("ReceivedLabel", "Received:", this);
  received_ = NewLabel("Received", QString(), this);
  message_->setObjectName("Message");
  message_->setReadOnly(true);
  message_->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
  message_->setLineWrapMode(QPlainTextEdit::NoWrap);
  previous_ = NewButton("PreviousButton", "Previous", this);
  next_ = NewButton("NextButton", "Next", this);
  traffic_button_ = NewButton("TrafficButton", "Traffic", this);
  close_ = NewButton("CloseButton", "Close", this);

  // The caption labels share a column, so the terminal and the type line up.
  const int caption_width =
      std::max(terminal_label_->sizeHint().width(), type_label_->sizeHint().width());
  terminal_label_->setFixedWidth(caption_width);
  type_label_->setFixedWidth(caption_width);
  for (QLabel* label : {type_label_, message_type_, received_label_, received_}) {
    label->setMinimumHeight(ToPixels(*this, kTypeRowHeight));
  }

  auto* terminal_row = new QHBoxLayout;
  terminal_row->addWidget(terminal_label_);
  terminal_row->addWidget(terminal_, 1);
  auto* type_row = new QHBoxLayout;
  type_row->addWidget(type_label_);
  type_row->addWidget(message_type_, 1);
  type_row->addWidget(received_label_);
  type_row->addWidget(received_);
  auto* buttons = new QHBoxLayout;
  buttons->addWidget(previous_);
  buttons->addWidget(next_);
  buttons->addWidget(traffic_button_);
  buttons->addStretch(1);
  buttons->addWidget(close_);
  auto* layout = new QVBoxLayout(this);
  const int margin = ToPixels(*this, kMargin);
  layout->setContentsMargins(margin, margin, margin, margin);
  layout->setSpacing(ToPixels(*this, kRowGap));
  layout->addLayout(terminal_row);
  layout->addLayout(type_row);
  layout->addWidget(message_, 1);
  layout->addSpacing(ToPixels(*this, kButtonsGap - kRowGap));
  layout->addLayout(buttons);

  // Load: the MDT display's look, the design size (one MDT line wide), the remembered place.
  message_->setFont(MdtFont(settings_));
  QPalette palette = message_->palette();
  palette.setColor(QPalette::Base, ToQColor(settings_.MDTBackground, Qt::black));
  palette.setColor(QPalette::Text, ToQColor(settings_.MDTForeground, Qt::green));
  message_->setPalette(palette);
  const double glyph = ToTwips(*this, QFontMetricsF(message_->font()).horizontalAdvance('i'));
  const double width = std::max(
      kDesignMinWidth, glyph * std::max(settings_.MDTColumns, 1) + kMessagePadding + 2 * kMargin);
  int pixels = std::max(ToPixels(*this, width), sizeHint().width());
  if (const QScreen* s = screen()) pixels = std::min(pixels, s->availableGeometry().width());
  resize(pixels, ToPixels(*this, kDesignHeight - kFrameHeightTwips));
  RestoreWindowGeometry(*this, settings_.MessageDetailsTop, settings_.MessageDetailsLeft,
                        settings_.MessageDetailsHeight);
  SetTopmost(this, settings_.AlwaysOnTop);

  connect(previous_, &QPushButton::clicked, this, &MessageDetailsWindow::PreviousClicked);
  connect(next_, &QPushButton::clicked, this, &MessageDetailsWindow::NextClicked);
  connect(traffic_button_, &QPushButton::clicked, this, &MessageDetailsWindow::ShowTraffic);
  connect(close_, &QPushButton::clicked, this, &QWidget::close);
}

void MessageDetailsWindow::ShowDetails(const MessageDetailsContent& content) {
  SetTrafficMode(false);
  setWindowTitle(Utf8(content.caption));
  message_type_->setText(Utf8(content.type));
  received_->setText(Utf8(content.received));
  traffic_button_->setText(Utf8(content.traffic_button));
  shown_terminal_ = content.terminal;
  terminal_->setText(Utf8(content.terminal));
  text_.SetText({});
  text_.SetText(content.text);
  text_.MoveCaretToStart();
  show();
  raise();
  activateWindow();
  message_->setFocus();
}

void MessageDetailsWindow::SetNavigationEnabled(bool enabled) {
  previous_->setEnabled(enabled);
  next_->setEnabled(enabled);
}

void MessageDetailsWindow::ShowTraffic() {
  const std::string terminal = shown_terminal_.substr(0, shown_terminal_.find(' '));
  text_.SetText(traffic_.Retrieve(terminal));
  message_type_->clear();
  SetTrafficMode(true);
}

void MessageDetailsWindow::SetTrafficMode(bool on) {
  for (QWidget* widget :
       {static_cast<QWidget*>(received_), static_cast<QWidget*>(received_label_),
        static_cast<QWidget*>(type_label_), static_cast<QWidget*>(message_type_)}) {
    widget->setVisible(!on);
  }
}

void MessageDetailsWindow::closeEvent(QCloseEvent* event) {
  StoreWindowGeometry(*this, settings_.MessageDetailsTop, settings_.MessageDetailsLeft,
                      settings_.MessageDetailsHeight);
  event->accept();
  emit Closed();
}

}  // namespace kestrel
