#include "app/traffic/assign_alias_dialog.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/profile/ini_file.h"
#include "app/ui/widget_helpers.h"
#include "app/ui/window_geometry.h"

namespace kestrel {
namespace {

constexpr double kFieldWidth = 3000;  // twips

QString Caption(AssignAliasDialog::Opening opening) {
  switch (opening) {
    case AssignAliasDialog::Opening::kAdd:
      return "Add Terminal Alias";
    case AssignAliasDialog::Opening::kEdit:
      return "Edit Terminal Alias";
    case AssignAliasDialog::Opening::kAssign:
    case AssignAliasDialog::Opening::kEditRow:
      break;
  }
  return "Assign Terminal Alias";
}

QLineEdit* NewField(const char* name, const QString& text, QWidget* parent) {
  auto* field = new QLineEdit(text, parent);
  field->setObjectName(name);
  // Longer values would not come back whole from the profile.
  field->setMaxLength(int(kIniMaxValueLength));
  field->setMinimumWidth(ToPixels(*parent, kFieldWidth));
  return field;
}

}  // namespace

AssignAliasDialog::AssignAliasDialog(Opening opening, const std::string& terminal,
                                     const std::string& alias, QWidget* parent)
    : QDialog(parent) {
  setObjectName("AssignAlias");
  setWindowTitle(Caption(opening));
  setModal(true);
  terminal_ = NewField("Terminal", Latin1(terminal), this);
  alias_ = NewField("Alias", Utf8(alias), this);

  auto* ok = new QPushButton("OK", this);
  ok->setObjectName("OKButton");
  ok->setDefault(true);
  auto* cancel = new QPushButton("Cancel", this);
  cancel->setObjectName("CancelButton");
  cancel->setAutoDefault(false);

  auto* fields = new QGridLayout;
  fields->addWidget(NewLabel("TerminalLabel", "Terminal:", this), 0, 0);
  fields->addWidget(terminal_, 0, 1);
  fields->addWidget(NewLabel("AliasLabel", "Alias:", this), 1, 0);
  fields->addWidget(alias_, 1, 1);
  fields->setColumnStretch(1, 1);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  buttons->addWidget(ok);
  buttons->addWidget(cancel);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(fields);
  layout->addStretch();
  layout->addLayout(buttons);

  connect(ok, &QPushButton::clicked, this, &QDialog::accept);
  connect(cancel, &QPushButton::clicked, this, &QDialog::reject);

  QLineEdit* focused =
      opening == Opening::kEdit || opening == Opening::kEditRow ? alias_ : terminal_;
  focused->setFocus();
  focused->selectAll();
}

std::string AssignAliasDialog::Terminal() const {
  return terminal_->text().toLatin1().toStdString();
}

std::string AssignAliasDialog::Alias() const { return ToUtf8(alias_->text()); }

}  // namespace kestrel
