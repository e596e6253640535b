#pragma once

#include <QDialog>
#include <QTimer>

class QLabel;

namespace kestrel {

class EMailClass;

// "Mail Status": what became of the program's mail (sent, retried, failed, waiting, the last
// error and its time), refreshed every second while shown. Not modal; closing only hides it.
// `email` must outlive the window. Window thread only.
class MailStatusWindow : public QDialog {
 public:
  explicit MailStatusWindow(const EMailClass& email, QWidget* parent = nullptr);

  // Shows the counts as they are now.
  void Refresh();

 protected:
  void showEvent(QShowEvent* event) override;
  void hideEvent(QHideEvent* event) override;

 private:
  const EMailClass& email_;
  QTimer refresh_;
  QLabel *sent_, *retried_, *failed_, *waiting_, *last_error_;
};

}  // namespace kestrel
