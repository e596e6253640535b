#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace kestrel {

// The full text of every message that has a row in the Messages list, under the message number
// the row carries as its tag. Numbers start at 1 and are never reused during a run.
class MessagesClass {
 public:
  int32_t Add(const std::string& text);
  void Remove(int32_t number);
  // "" when there is no such entry.
  std::string Retrieve(int32_t number) const;
  void Update(int32_t number, const std::string& text);
  int Count() const { return int(entries_.size()); }

 private:
  struct Entry {
    int32_t number;
    std::string text;
  };
  std::vector<Entry> entries_;  // in the order added
  int32_t last_number_ = 0;
};

}  // namespace kestrel
