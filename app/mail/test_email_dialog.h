#pragma once

#include <QDialog>
#include <memory>
#include <string>

#include "app/mail/mail_control.h"

class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;

namespace kestrel {

// "Send Test E-mail": an address, Send, and the whole SMTP conversation (passwords masked) with
// its result, read-only. Sends through its own control, so the queue's sends are not disturbed.
// Window thread only; Send runs the conversation while the dialog's events go on.
class TestEMailDialog : public QDialog {
 public:
  // `server` is the SMTP Mail Server text and `connection` what the Options controls show.
  TestEMailDialog(std::string server, MailConnection connection,
                  std::unique_ptr<MailControl> control, QWidget* parent = nullptr);

  // The Send button's action; true when the server accepted the mail.
  bool Send();

 private:
  std::string server_;
  MailConnection connection_;
  std::unique_ptr<MailControl> control_;
  QLineEdit* address_ = nullptr;
  QPushButton* send_ = nullptr;
  QPlainTextEdit* transcript_ = nullptr;
  QLabel* result_ = nullptr;
};

}  // namespace kestrel
