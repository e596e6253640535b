#pragma once

#include <QDialog>
#include <string>
#include <vector>

class QListWidget;

namespace kestrel {

// The connected-clients window ("ClientsConnected"): the feed server's clients by host, in list
// order, in "ClientsListbox", and "OKButton", which closes the window. The list takes all the
// room above the button. Not modal; deletes itself when closed. Kept above other programs'
// windows when `always_on_top` (the AlwaysOnTop setting).
class ClientsConnected : public QDialog {
  Q_OBJECT

 public:
  explicit ClientsConnected(const std::vector<std::string>& hosts, bool always_on_top,
                            QWidget* parent = nullptr);

  // Replaces the list.
  void SetHosts(const std::vector<std::string>& hosts);

 private:
  QListWidget* list_;
};

}  // namespace kestrel
