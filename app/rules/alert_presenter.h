#pragma once

#include <QObject>
#include <QPointer>
#include <QWidget>
#include <string_view>

#include "app/display/message_details_window.h"
#include "app/profile/settings.h"
#include "app/rules/alert_window.h"
#include "app/rules/rule_processing.h"
#include "app/traffic/terminal_aliases.h"
#include "app/traffic/traffic_class.h"

namespace kestrel {

// The alert window as rule processing sees it. Holds at most one window, created when an alert
// first needs it; the window deletes itself when closed, and the presenter forgets it then (a
// QPointer), so a later alert makes a new one and a continuation for a closed window is dropped.
// Windows get `window_parent` (may be null) as their parent. Forwards the window's Closed and
// MoveToDetails: connect Closed to RuleProcessing::AlertClosed and MoveToDetails to showing the
// details window.
class AlertPresenter : public QObject, public AlertView {
  Q_OBJECT

 public:
  AlertPresenter(Settings& settings, const TrafficClass& traffic, const TerminalAliases& aliases,
                 QWidget* window_parent = nullptr, QObject* parent = nullptr);
  // Deletes an open window without closing it: nothing is stored or emitted.
  ~AlertPresenter() override;

  // Fills the window (making it when there is none), shows it, brings it forward and puts the
  // focus in its text.
  void ShowAlert(const AlertContent& content) override;
  // Only an open window changes; it is neither shown nor focused again.
  void SetReceived(std::string_view time) override;
  void SetMessageText(std::string_view text) override;

  // Closes an open window as the user would (geometry stored, Closed emitted).
  void CloseWindow();
  // The open window; null when there is none.
  AlertWindow* Window() const { return window_; }

 signals:
  void Closed();
  void MoveToDetails(const MessageDetailsContent& content);

 private:
  Settings& settings_;
  const TrafficClass& traffic_;
  const TerminalAliases& aliases_;
  QPointer<QWidget> window_parent_;
  QPointer<AlertWindow> window_;
};

}  // namespace kestrel
