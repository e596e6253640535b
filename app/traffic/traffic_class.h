#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "app/profile/settings.h"

namespace kestrel {

class TerminalAliases;

// The terminal address of a record: the bytes TerminalAddressStart..TerminalAddressEnd (1-based)
// as upper-case hexadecimal, two digits each. Bytes beyond the record are left out.
std::string GetTerminalAddress(std::string_view record, const Settings& settings);

// The recent traffic of every terminal heard: a ring of the last 30 messages per terminal and
// the all-traffic row with the last 30 messages of all terminals. Records that do not start a
// new message ("TX" at 13-14) are appended to the terminal's current message.
class TrafficClass {
 public:
  static constexpr int kRingSize = 30;
  static constexpr std::string_view kAllTraffic = "<all>";
  // The most one message's text grows to; continuation bodies beyond it are dropped, so a
  // terminal that never starts a new message cannot grow memory or the work per record.
  static constexpr size_t kMaxMessageLength = 32000;
  static constexpr size_t kMaxHistoryLength = 16000;

  TrafficClass(const Settings& settings, const TerminalAliases& aliases)
      : settings_(settings), aliases_(aliases), rows_(1) {}

  // Stores the record; 1 when the terminal was not known yet, else 0. The alias is not kept.
  int Add(const std::string& address, const std::string& alias, const std::string& record);
  // The formatted history of a terminal or of "<all>", oldest first; "" for an unknown terminal.
  std::string Retrieve(std::string_view name) const;
  // Forgets a terminal, or empties the all-traffic row for "<all>".
  void Remove(std::string_view name);
  // Unlinks the terminal's message shown by the Messages row `tag`.
  void RemoveListItem(std::string_view address, int32_t tag);
  // The text of the terminal's current message; "" when unknown.
  std::string RetrieveLast(std::string_view address) const;
  // Whether the last Add appended to the terminal's current message.
  bool Continuation() const { return continuation_; }
  void SetMessagesTag(std::string_view address, int32_t tag);
  int32_t GetMessagesTag(std::string_view address) const;
  // The terminal is known and its last record is exactly this one.
  bool Duplicate(std::string_view address, std::string_view record) const;

  int TerminalCount() const { return int(rows_.size()) - 1; }

 private:
  struct Slot {
    std::string text;
    int32_t tag = 0;
  };
  struct Row {
    std::string name;
    std::array<Slot, kRingSize> ring;
    int current = -1;  // index of the newest message; -1: none
    std::string last_record;
  };

  const Row* Find(std::string_view address) const;
  Row* Find(std::string_view address);
  void StoreRecord(Row& row, bool all_traffic, const std::string& record);

  const Settings& settings_;
  const TerminalAliases& aliases_;
  std::vector<Row> rows_;  // rows_[0] is the all-traffic row
  std::unordered_map<std::string, size_t> index_;
  bool continuation_ = false;
};

}  // namespace kestrel
