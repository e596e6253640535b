#include "app/profile/report_error.h"

#include <string>

namespace kestrel {

void ErrorReporter::ReportError(std::string_view procedure, int number,
                                std::string_view description) {
  if (settings_.SuppressErrors) return;
  std::string text = "An error occured in ";
  text.append(procedure).append(".\r\n\r\nError number ").append(std::to_string(number));
  text.append(": ").append(description).append("\r\n\r\nSuppress further errors if possible?");
  if (boxes_.Show(text, "Kestrel Error", MessageBoxes::Icon::kStop,
                  MessageBoxes::Buttons::kYesNo) == MessageBoxes::Answer::kYes) {
    settings_.SuppressErrors = true;
  }
}

}  // namespace kestrel
