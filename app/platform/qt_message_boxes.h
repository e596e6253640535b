#pragma once

#include <QPointer>
#include <QWidget>

#include "app/platform/message_box.h"

namespace kestrel {

// Message boxes on the screen: a modal QMessageBox over `parent` (may be null) with the text and
// title as given (UTF-8). The first button is the default; Escape and the window's close button
// answer Cancel where there is one, else No, else Ok.
class QtMessageBoxes : public MessageBoxes {
 public:
  explicit QtMessageBoxes(QWidget* parent = nullptr) : parent_(parent) {}

  Answer Show(std::string_view text, std::string_view title, Icon icon, Buttons buttons) override;

 private:
  QPointer<QWidget> parent_;
};

}  // namespace kestrel
