#include "app/rules/colour_box.h"

#include <QColorDialog>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QRadioButton>

#include "app/ui/mdt_font.h"

namespace kestrel {

namespace {

Colour FromQColor(const QColor& colour) {
  return Colour(colour.red() | (colour.green() << 8) | (colour.blue() << 16));
}

}  // namespace

ColourPicker StandardColourPicker() {
  return [](Colour current, QWidget* parent) -> std::optional<Colour> {
    const QColor chosen = QColorDialog::getColor(ToQColor(current, Qt::black), parent);
    if (!chosen.isValid()) return std::nullopt;
    return FromQColor(chosen);
  };
}

ColourBox::ColourBox(const char* name, Colour colour, QWidget* parent)
    : QFrame(parent), colour_(colour) {
  setObjectName(name);
  setFrameShape(QFrame::Box);
  setFocusPolicy(Qt::StrongFocus);
  setAutoFillBackground(true);
  setCursor(Qt::PointingHandCursor);
  setFixedSize(40, 20);
  SetValue(colour);
}

void ColourBox::SetValue(Colour colour) {
  colour_ = colour;
  QPalette shown = palette();
  shown.setColor(QPalette::Window, ToQColor(colour, Qt::black));
  setPalette(shown);
}

void ColourBox::mousePressEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton) {
    emit Clicked();
    return;
  }
  QFrame::mousePressEvent(event);
}

void ColourBox::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Space || event->key() == Qt::Key_Return ||
      event->key() == Qt::Key_Enter) {
    emit Clicked();
    return;
  }
  QFrame::keyPressEvent(event);
}

ColourSetting::ColourSetting(QRadioButton* default_option, QRadioButton* custom_option,
                             ColourBox* box, ColourPicker chooser)
    : default_option_(default_option), custom_option_(custom_option), box_(box) {
  QObject::connect(box, &ColourBox::Clicked, box, [custom_option, box, chooser] {
    custom_option->setChecked(true);
    if (!chooser) return;
    if (const std::optional<Colour> chosen = chooser(box->Value(), box->window())) {
      box->SetValue(*chosen);
    }
  });
}

void ColourSetting::Load(Colour pending) {
  if (pending == kDefaultColour) {
    default_option_->setChecked(true);
  } else {
    custom_option_->setChecked(true);
    box_->SetValue(pending);
  }
}

Colour ColourSetting::Value() const {
  return default_option_->isChecked() ? kDefaultColour : box_->Value();
}

}  // namespace kestrel
