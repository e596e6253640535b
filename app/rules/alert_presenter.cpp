#include "app/rules/alert_presenter.h"

namespace kestrel {

AlertPresenter::AlertPresenter(Settings& settings, const TrafficClass& traffic,
                               const TerminalAliases& aliases, QWidget* window_parent,
                               QObject* parent)
    : QObject(parent),
      settings_(settings),
      traffic_(traffic),
      aliases_(aliases),
      window_parent_(window_parent) {}

AlertPresenter::~AlertPresenter() { delete window_.data(); }

void AlertPresenter::ShowAlert(const AlertContent& content) {
  if (window_ == nullptr) {
    window_ = new AlertWindow(settings_, traffic_, aliases_, window_parent_.data());
    connect(window_, &AlertWindow::Closed, this, &AlertPresenter::Closed);
    connect(window_, &AlertWindow::MoveToDetails, this, &AlertPresenter::MoveToDetails);
  }
  window_->Fill(content);
  window_->show();
  window_->raise();
  window_->activateWindow();
  window_->FocusMessage();
}

void AlertPresenter::SetReceived(std::string_view time) {
  if (window_ != nullptr) window_->SetReceived(time);
}

void AlertPresenter::SetMessageText(std::string_view text) {
  if (window_ != nullptr) window_->SetMessageText(text);
}

void AlertPresenter::CloseWindow() {
  if (window_ != nullptr) window_->close();
}

}  // namespace kestrel
