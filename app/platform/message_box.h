#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace kestrel {

// The one way user-facing failures and questions reach the user: texts and titles exactly as
// the program words them. Windows show them; tests record them.
class MessageBoxes {
 public:
  enum class Icon { kNone, kInformation, kQuestion, kExclamation, kStop };
  enum class Buttons { kOk, kOkCancel, kYesNo, kYesNoCancel };
  enum class Answer { kOk, kCancel, kYes, kNo };

  virtual ~MessageBoxes() = default;
  virtual Answer Show(std::string_view text, std::string_view title, Icon icon,
                      Buttons buttons) = 0;
};

// Keeps every message and answers with a preset answer (Ok, or Yes for questions by default).
class RecordingMessageBoxes : public MessageBoxes {
 public:
  struct Shown {
    std::string text;
    std::string title;
    Icon icon;
    Buttons buttons;
  };

  Answer Show(std::string_view text, std::string_view title, Icon icon, Buttons buttons) override {
    shown.push_back({std::string(text), std::string(title), icon, buttons});
    if (buttons == Buttons::kOk) return Answer::kOk;
    if (buttons == Buttons::kOkCancel) return answer == Answer::kCancel ? answer : Answer::kOk;
    return answer;
  }

  std::vector<Shown> shown;
  Answer answer = Answer::kYes;
};

}  // namespace kestrel
