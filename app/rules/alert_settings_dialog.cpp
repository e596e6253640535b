#include "app/rules/alert_settings_dialog.h"

#include <QButtonGroup>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include "app/profile/set_topmost.h"
#include "app/rules/action_settings_widgets.h"
#include "app/ui/widget_helpers.h"

namespace kestrel {

AlertSettingsDialog::AlertSettingsDialog(Rule& pending, ColourPicker chooser, QWidget* parent)
    : QDialog(parent),
      pending_(pending),
      foreground_(NewOption("ForegroundColorDefault", "Default", this),
                  NewOption("ForegroundColorCustom", "Custom", this),
                  new ColourBox("ForegroundColorBox", 0, this), chooser),
      background_(NewOption("BackgroundColorDefault", "Default", this),
                  NewOption("BackgroundColorCustom", "Custom", this),
                  new ColourBox("BackgroundColorBox", 0xFFFFFF, this), chooser) {
  setObjectName("RulesAlertConfigure");
  setWindowTitle("Alert Message");
  setModal(true);

  auto* grid = new QGridLayout;
  auto add_row = [&](int row, const char* label_name, const char* label, const char* prefix) {
    grid->addWidget(NewLabel(label_name, label, this), row, 0, 1, 3);
    const QString name = QString::fromLatin1(prefix);
    auto* default_option = findChild<QRadioButton*>(name + "Default");
    auto* custom_option = findChild<QRadioButton*>(name + "Custom");
    auto* box = findChild<ColourBox*>(name + "Box");
    auto* group = new QButtonGroup(this);
    group->addButton(default_option);
    group->addButton(custom_option);
    grid->addWidget(default_option, row + 1, 0);
    grid->addWidget(custom_option, row + 1, 1);
    grid->addWidget(box, row + 1, 2);
  };
  add_row(0, "ForegroundLabel", "Foreground color to use:", "ForegroundColor");
  add_row(2, "BackgroundLabel", "Background color to use:", "BackgroundColor");
  grid->addWidget(NewLabel("HintLabel", "(click color to change)", this), 4, 0, 1, 3);
  grid->setColumnStretch(3, 1);

  auto* layout = new QVBoxLayout(this);
  layout->addLayout(grid);
  layout->addStretch(1);
  layout->addLayout(OkCancelRow(this, [this] { Ok(); }));
  layout->setSizeConstraint(QLayout::SetMinimumSize);

  foreground_.Load(pending_.AlertForegroundColor);
  background_.Load(pending_.AlertBackgroundColor);
}

void AlertSettingsDialog::Ok() {
  pending_.AlertForegroundColor = foreground_.Value();
  pending_.AlertBackgroundColor = background_.Value();
  accept();
}

bool EditAlertSettings(Rule& pending, const Settings& settings, QWidget* parent,
                       ColourPicker chooser) {
  AlertSettingsDialog dialog(pending, std::move(chooser), parent);
  SetTopmost(&dialog, settings.AlwaysOnTop);
  return dialog.exec() == QDialog::Accepted;
}

SettingsDialogHook AlertSettingsHook(const Settings& settings, ColourPicker chooser) {
  return [&settings, chooser](QWidget* parent, Rule& pending) {
    EditAlertSettings(pending, settings, parent, chooser);
  };
}

}  // namespace kestrel
