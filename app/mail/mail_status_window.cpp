#include "app/mail/mail_status_window.h"

#include <QFormLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/mail/email_class.h"
#include "app/ui/widget_helpers.h"

namespace kestrel {
namespace {

constexpr int kRefreshMs = 1000;

}  // namespace

MailStatusWindow::MailStatusWindow(const EMailClass& email, QWidget* parent)
    : QDialog(parent), email_(email) {
  setObjectName("frmMailStatus");
  setWindowTitle("Mail Status");
  sent_ = NewLabel("lblMailSent", QString(), this);
  retried_ = NewLabel("lblMailRetried", QString(), this);
  failed_ = NewLabel("lblMailFailed", QString(), this);
  waiting_ = NewLabel("lblMailWaiting", QString(), this);
  last_error_ = NewLabel("lblMailLastError", QString(), this);
  last_error_->setWordWrap(true);
  last_error_->setTextInteractionFlags(Qt::TextSelectableByMouse);
  last_error_->setMinimumWidth(360);
  auto* close = NewButton("cmdClose", "Close", this);

  auto* form = new QFormLayout;
  form->addRow("Sent:", sent_);
  form->addRow("Retried:", retried_);
  form->addRow("Failed:", failed_);
  form->addRow("Waiting:", waiting_);
  form->addRow("Last error:", last_error_);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(form);
  layout->addWidget(close, 0, Qt::AlignRight);

  refresh_.setInterval(kRefreshMs);
  connect(&refresh_, &QTimer::timeout, this, &MailStatusWindow::Refresh);
  connect(close, &QPushButton::clicked, this, &QDialog::hide);
  Refresh();
}

void MailStatusWindow::Refresh() {
  const MailStatus& status = email_.Status();
  sent_->setText(QString::number(status.Sent()));
  retried_->setText(QString::number(status.Retried()));
  failed_->setText(QString::number(status.Failed()));
  waiting_->setText(QString::number(email_.Waiting()));
  const auto when = status.LastErrorTime();
  last_error_->setText(when ? Utf8(FormatLocalTime(*when) + ": " + status.LastError())
                            : QString("none"));
}

void MailStatusWindow::showEvent(QShowEvent* event) {
  Refresh();
  refresh_.start();
  QDialog::showEvent(event);
}

void MailStatusWindow::hideEvent(QHideEvent* event) {
  refresh_.stop();
  QDialog::hideEvent(event);
}

}  // namespace kestrel
