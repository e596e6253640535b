#pragma once

#include <QWidget>
#include <string>
#include <string_view>

#include "app/display/message_details_window.h"
#include "app/platform/qt_text_window.h"
#include "app/profile/settings.h"
#include "app/rules/rule_processing.h"
#include "app/traffic/terminal_aliases.h"
#include "app/traffic/traffic_class.h"

class QLabel;
class QPlainTextEdit;
class QPushButton;

namespace kestrel {

// The Alert window: the message a rule alerted on, its terminal's traffic on request, and the way
// on to the details window. A top-level window (also with a parent) that deletes itself when
// closed; AlertPresenter creates and holds it. Creating it is loading it: its position and height
// come from AlertTop/AlertLeft/AlertHeight when that height is above 0, its text box gets the MDT
// font and colours, and AlwaysOnTop applies. Resizing lays it out in twips (LayOutAlert): the box
// one MDT line wide, the window as wide as the box. Closing, by whatever way, stores its position
// and height (whole twips) and emits Closed().
class AlertWindow : public QWidget {
  Q_OBJECT

 public:
  AlertWindow(Settings& settings, const TrafficClass& traffic, const TerminalAliases& aliases,
              QWidget* parent = nullptr);

  // Replaces what the window shows; the text's insertion point goes to the start. Colours left
  // out of the content are the MDT display's.
  void Fill(const AlertContent& content);
  void SetReceived(std::string_view time);
  // The text grew: the whole new text, insertion point at the end.
  void SetMessageText(std::string_view text);
  void FocusMessage();

 signals:
  // The Move To Details Window button: what the details window is to show. The window closes
  // right after.
  void MoveToDetails(const MessageDetailsContent& content);
  void Closed();

 protected:
  void resizeEvent(QResizeEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  bool event(QEvent* event) override;

 private:
  void LayOut();
  // The Terminal label's text up to its first blank.
  std::string Number() const;
  void ShowTraffic();
  void MoveMessage();

  Settings& settings_;
  const TrafficClass& traffic_;
  const TerminalAliases& aliases_;
  std::string shown_terminal_;  // the Terminal label's text
  std::string received_text_;   // the Received label's text
  int width_requests_ = 0;      // resizes asked for since the window last had its width

  QPushButton* move_;
  QPlainTextEdit* message_;
  QPushButton* close_;
  QPushButton* traffic_button_;
  QLabel* received_;
  QLabel* received_label_;
  QLabel* terminal_;
  QLabel* terminal_label_;
  QtTextWindow text_;
};

}  // namespace kestrel
