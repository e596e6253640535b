#pragma once

#include <string_view>

#include "app/platform/message_box.h"
#include "app/profile/settings.h"

namespace kestrel {

// The common report of an unexpected failure inside a procedure: tells the user which procedure
// failed and why, and offers to suppress further reports.
class ErrorReporter {
 public:
  ErrorReporter(Settings& settings, MessageBoxes& boxes) : settings_(settings), boxes_(boxes) {}
  virtual ~ErrorReporter() = default;

  // `number` and `description` say what went wrong, as the failure reported it.
  virtual void ReportError(std::string_view procedure, int number, std::string_view description);

 private:
  Settings& settings_;
  MessageBoxes& boxes_;
};

}  // namespace kestrel
