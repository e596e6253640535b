#include "app/platform/qt_message_boxes.h"

#include <QMessageBox>
#include <QString>

namespace kestrel {

namespace {

QMessageBox::Icon ToQt(MessageBoxes::Icon icon) {
  switch (icon) {
    case MessageBoxes::Icon::kInformation:
      return QMessageBox::Information;
    case MessageBoxes::Icon::kQuestion:
      return QMessageBox::Question;
    case MessageBoxes::Icon::kExclamation:
      return QMessageBox::Warning;
    case MessageBoxes::Icon::kStop:
      return QMessageBox::Critical;
    case MessageBoxes::Icon::kNone:
      break;
  }
  return QMessageBox::NoIcon;
}

struct ButtonSet {
  QMessageBox::StandardButtons buttons;
  QMessageBox::StandardButton first;
  QMessageBox::StandardButton escape;
};

ButtonSet ToQt(MessageBoxes::Buttons buttons) {
  switch (buttons) {
    case MessageBoxes::Buttons::kOkCancel:
      return {QMessageBox::Ok | QMessageBox::Cancel, QMessageBox::Ok, QMessageBox::Cancel};
    case MessageBoxes::Buttons::kYesNo:
      return {QMessageBox::Yes | QMessageBox::No, QMessageBox::Yes, QMessageBox::No};
    case MessageBoxes::Buttons::kYesNoCancel:
      return {QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel, QMessageBox::Yes,
              QMessageBox::Cancel};
    case MessageBoxes::Buttons::kOk:
      break;
  }
  return {QMessageBox::Ok, QMessageBox::Ok, QMessageBox::Ok};
}

}  // namespace

MessageBoxes::Answer QtMessageBoxes::Show(std::string_view text, std::string_view title, Icon icon,
                                          Buttons buttons) {
  const ButtonSet set = ToQt(buttons);
  QMessageBox box(ToQt(icon), QString::fromUtf8(title.data(), qsizetype(title.size())),
                  QString::fromUtf8(text.data(), qsizetype(text.size())), set.buttons,
                  parent_.data());
  box.setTextFormat(Qt::PlainText);
  box.setDefaultButton(set.first);
  box.setEscapeButton(set.escape);
  switch (box.exec()) {
    case QMessageBox::Yes:
      return Answer::kYes;
    case QMessageBox::No:
      return Answer::kNo;
    case QMessageBox::Cancel:
      return Answer::kCancel;
    case QMessageBox::Ok:
      return Answer::kOk;
    default:
      break;
  }
  // Only an unexpected close gets here: the safe answer is the escape button's.
  switch (set.escape) {
    case QMessageBox::No:
      return Answer::kNo;
    case QMessageBox::Cancel:
      return Answer::kCancel;
    default:
      return Answer::kOk;
  }
}

}  // namespace kestrel
