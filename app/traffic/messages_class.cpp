#include "app/traffic/messages_class.h"

namespace kestrel {

int32_t MessagesClass::Add(const std::string& text) {
  entries_.push_back({++last_number_, text});
  return last_number_;
}

// Numbers ascend in entries_; the newest is the likeliest to be asked for, so search from the end.
void MessagesClass::Remove(int32_t number) {
  for (auto it = entries_.rbegin(); it != entries_.rend(); ++it) {
    if (it->number == number) {
      entries_.erase(std::next(it).base());
      return;
    }
  }
}

std::string MessagesClass::Retrieve(int32_t number) const {
  for (auto it = entries_.rbegin(); it != entries_.rend(); ++it) {
    if (it->number == number) return it->text;
  }
  return std::string();
}

void MessagesClass::Update(int32_t number, const std::string& text) {
  for (auto it = entries_.rbegin(); it != entries_.rend(); ++it) {
    if (it->number == number) {
      it->text = text;
      return;
    }
  }
}

}  // namespace kestrel
