#pragma once

#include <QWidget>
#include <string>

#include "app/platform/qt_text_window.h"
#include "app/profile/settings.h"
#include "app/traffic/traffic_class.h"

class QLabel;
class QPlainTextEdit;
class QPushButton;

namespace kestrel {

// What the details window shows for one message. Caption, type and terminal are UTF-8 (rule
// names and aliases); text is the message's bytes with CR LF line ends.
struct MessageDetailsContent {
  std::string caption;
  std::string type;            // the MessageType label
  std::string received;        // "hh:mm:ss"
  std::string terminal;        // the terminal, with " (" + alias + ")" when it has one
  std::string traffic_button;  // "To " + terminal
  std::string text;
};

// The MessageDetails window: one message in full, Previous and Next through the Messages list
// (the owner does the moving and answers with ShowDetails), and the Traffic button, which shows
// the terminal's traffic history in place of the message.
//
// A top-level window (also with a parent) that deletes itself when closed: hold it in a QPointer
// and create it again when it is needed. Creating it is loading it: its position and height come
// from MessageDetailsTop/Left/Height when that height is above 0, its text box gets the MDT font
// and colours, and AlwaysOnTop applies. Closing stores its position and height (whole twips) in
// the settings and then emits Closed().
class MessageDetailsWindow : public QWidget {
  Q_OBJECT

 public:
  MessageDetailsWindow(Settings& settings, const TrafficClass& traffic, QWidget* parent = nullptr);

  // Shows the message: the type and received labels are shown again with the text box below the
  // type label; the text box is emptied and filled, its insertion point at the start. Shows and
  // raises the window and puts the focus in the text box.
  void ShowDetails(const MessageDetailsContent& content);
  // Previous and Next together, e.g. off when no Messages row is selected.
  void SetNavigationEnabled(bool enabled);

 signals:
  void PreviousClicked();
  void NextClicked();
  void Closed();

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  void ShowTraffic();
  // Traffic mode hides the type and received rows; the layout moves the box up into their place.
  void SetTrafficMode(bool on);

  Settings& settings_;
  const TrafficClass& traffic_;
  std::string shown_terminal_;  // the Terminal label's text

  QLabel* terminal_label_;
  QLabel* terminal_;
  QLabel* type_label_;
  QLabel* message_type_;
  QLabel* received_label_;
  QLabel* received_;
  QPlainTextEdit* message_;
  QPushButton* previous_;
  QPushButton* next_;
  QPushButton* traffic_button_;
  QPushButton* close_;
  QtTextWindow text_;
};

}  // namespace kestrel
