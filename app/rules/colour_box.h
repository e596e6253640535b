#pragma once

#include <QFrame>
#include <functional>
#include <optional>

#include "app/platform/text_window.h"
#include "app/rules/rule.h"

class QRadioButton;

namespace kestrel {

// Asks the user for a colour, preset to `current`: the chosen colour, or nothing when cancelled.
// The settings dialogs take one so that tests answer without a real colour dialog.
using ColourPicker = std::function<std::optional<Colour>(Colour current, QWidget* parent)>;

// The platform's standard colour dialog.
ColourPicker StandardColourPicker();

// The shape in which the rule dialog opens a settings dialog: modal over `parent`, on the
// pending values, whose Alert, LogMessages and EMailMessages flags are the rule dialog's check
// boxes as they stand (read back afterwards). OK writes the action's settings into `pending`;
// Cancel leaves it alone.
using SettingsDialogHook = std::function<void(QWidget* parent, Rule& pending)>;

// A box painted in a colour that reports clicks (mouse, or Space/Enter when it has focus).
class ColourBox : public QFrame {
  Q_OBJECT

 public:
  ColourBox(const char* name, Colour colour, QWidget* parent);
  Colour Value() const { return colour_; }
  void SetValue(Colour colour);

 signals:
  void Clicked();

 protected:
  void mousePressEvent(QMouseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;

 private:
  Colour colour_;
};

// One colour setting as a Default option, a Custom option and a colour box: clicking the box
// selects Custom and repaints it with what the chooser answers (unchanged when cancelled).
// Load: -1 selects Default, anything else Custom with the box painted. Value: -1 for Default,
// else the box's colour.
class ColourSetting {
 public:
  ColourSetting(QRadioButton* default_option, QRadioButton* custom_option, ColourBox* box,
                ColourPicker chooser);
  void Load(Colour pending);
  Colour Value() const;

 private:
  QRadioButton* default_option_;
  QRadioButton* custom_option_;
  ColourBox* box_;
};

}  // namespace kestrel
