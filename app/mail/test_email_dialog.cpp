#include "app/mail/test_email_dialog.h"

#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <utility>

#include "app/mail/email_class.h"
#include "app/ui/widget_helpers.h"

namespace kestrel {

TestEMailDialog::TestEMailDialog(std::string server, MailConnection connection,
                                 std::unique_ptr<MailControl> control, QWidget* parent)
    : QDialog(parent),
      server_(std::move(server)),
      connection_(std::move(connection)),
      control_(std::move(control)) {
  setObjectName("frmTestEMail");
  setWindowTitle("Send Test E-mail");
  address_ = new QLineEdit(this);
  address_->setObjectName("txtTestEMailAddress");
  address_->setPlaceholderText("name@example.org");
  send_ = NewButton("cmdTestEMailSend", "Send", this);
  send_->setDefault(true);
  transcript_ = new QPlainTextEdit(this);
  transcript_->setObjectName("txtTestEMailTranscript");
  transcript_->setReadOnly(true);
  transcript_->setLineWrapMode(QPlainTextEdit::NoWrap);
  transcript_->setMinimumSize(520, 240);
  result_ = NewLabel("lblTestEMailResult", QString(), this);
  result_->setWordWrap(true);
  result_->setTextInteractionFlags(Qt::TextSelectableByMouse);
  auto* close = NewButton("cmdTestEMailClose", "Close", this);

  auto* layout = new QGridLayout(this);
  layout->addWidget(NewLabel("TestEMailAddressLabel", "Send to:", this), 0, 0);
  layout->addWidget(address_, 0, 1);
  layout->addWidget(send_, 0, 2);
  layout->addWidget(transcript_, 1, 0, 1, 3);
  layout->addWidget(result_, 2, 0, 1, 3);
  layout->addWidget(close, 3, 2);
  layout->setColumnStretch(1, 1);
  layout->setRowStretch(1, 1);

  connect(send_, &QPushButton::clicked, this, [this] { Send(); });
  connect(close, &QPushButton::clicked, this, &QDialog::reject);
}

bool TestEMailDialog::Send() {
  if (!send_->isEnabled()) return false;
  send_->setEnabled(false);
  transcript_->clear();
  result_->clear();
  const TestEMailResult result =
      SendTestEMail(*control_, server_, connection_, address_->text().toStdString(),
                    [this](const std::string& line) { transcript_->appendPlainText(Utf8(line)); });
  result_->setText(Utf8(result.text));
  transcript_->appendPlainText(Utf8(result.text));
  send_->setEnabled(true);
  return result.sent;
}

}  // namespace kestrel
