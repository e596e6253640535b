#pragma once

#include <QDialog>
#include <string>

class QLineEdit;

namespace kestrel {

// The Assign Terminal Alias dialog: a terminal and its alias. It only collects the two texts;
// whoever opens it acts on `accepted`. Closed after OK or Cancel, so each opening starts afresh.
class AssignAliasDialog : public QDialog {
  Q_OBJECT

 public:
  enum class Opening {
    kAssign,  // the main window's command: own caption, empty fields, terminal focused
    kAdd,     // the Configure window's Add: "Add Terminal Alias", empty, terminal focused
    kEdit,    // the Configure window's Edit: "Edit Terminal Alias", alias focused
    kEditRow  // a main-window Terminals row: own caption, alias focused
  };

  AssignAliasDialog(Opening opening, const std::string& terminal, const std::string& alias,
                    QWidget* parent = nullptr);

  // Terminal addresses are bytes shown as Latin-1; aliases are UTF-8.
  std::string Terminal() const;
  std::string Alias() const;

 private:
  QLineEdit* terminal_;
  QLineEdit* alias_;
};

}  // namespace kestrel
