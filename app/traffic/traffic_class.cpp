#include "app/traffic/traffic_class.h"

#include <algorithm>
#include <utility>

#include "app/display/mdt_text.h"
#include "app/traffic/record.h"
#include "app/traffic/terminal_aliases.h"

namespace kestrel {
namespace {

void AppendCapped(std::string& text, std::string_view more, size_t limit) {
  if (text.size() < limit) text.append(more.substr(0, limit - text.size()));
}

}  // namespace

std::string GetTerminalAddress(std::string_view record, const Settings& settings) {
  const size_t first = size_t(std::max(settings.TerminalAddressStart, 1));
  const size_t last = std::min(size_t(std::max(settings.TerminalAddressEnd, 0)), record.size());
  return first > last ? std::string() : HexText(Left(From(record, first), last - first + 1));
}

const TrafficClass::Row* TrafficClass::Find(std::string_view address) const {
  const auto found = index_.find(std::string(address));
  return found == index_.end() ? nullptr : &rows_[found->second];
}

TrafficClass::Row* TrafficClass::Find(std::string_view address) {
  return const_cast<Row*>(std::as_const(*this).Find(address));
}

void TrafficClass::StoreRecord(Row& row, bool all_traffic, const std::string& record) {
  bool continuing = row.current >= 0 && !IsTxRecord(record);
  // The all-traffic row only continues a message of the same terminal.
  if (continuing && all_traffic) {
    continuing = GetTerminalAddress(row.ring[size_t(row.current)].text, settings_) ==
                 GetTerminalAddress(record, settings_);
  }
  if (continuing) {
    AppendCapped(row.ring[size_t(row.current)].text, From(record, kContinuationBodyPosition),
                 kMaxMessageLength);
  } else {
    row.current = (row.current + 1) % kRingSize;
    row.ring[size_t(row.current)].text = Left(record, kMaxMessageLength);
  }
  if (!all_traffic) continuation_ = continuing;
}

int TrafficClass::Add(const std::string& address, const std::string& /*alias*/,
                      const std::string& record) {
  Row* row = Find(address);
  const bool is_new = row == nullptr;
  if (is_new) {
    index_.emplace(address, rows_.size());
    row = &rows_.emplace_back();
    row->name = address;
  }
  StoreRecord(*row, false, record);
  StoreRecord(rows_[0], true, record);
  row->last_record = record;
  return is_new ? 1 : 0;
}

std::string TrafficClass::Retrieve(std::string_view name) const {
  const bool all_traffic = name == kAllTraffic;
  const Row* row = all_traffic ? &rows_[0] : Find(name);
  if (row == nullptr || row->current < 0) return {};

  const std::string separator = "\r\n" + SeparatorLine(settings_) + "\r\n";
  std::string result;
  // Oldest first: the ring after the newest, then up to it.
  for (int k = 1; k <= kRingSize; ++k) {
    const int position = (row->current + k) % kRingSize;
    const std::string& text = row->ring[size_t(position)].text;
    if (text.empty()) continue;
    if (all_traffic) {
      const std::string address = GetTerminalAddress(text, settings_);
      const std::string alias = aliases_.Alias(address);
      result += "Terminal: " + address + (alias.empty() ? "" : " (" + alias + ")") + "\r\n\r\n";
    }
    result += FormatData(RecordBody(text));
    result += "\r\n";
    if (position != row->current) result += separator;
  }
  if (result.ends_with("\r\n")) result.resize(result.size() - 2);
  if (result.size() > kMaxHistoryLength) result.erase(0, result.size() - kMaxHistoryLength);
  return result;
}

void TrafficClass::Remove(std::string_view name) {
  if (name == kAllTraffic) {
    rows_[0] = Row{};
    return;
  }
  const auto found = index_.find(std::string(name));
  if (found == index_.end()) return;
  const size_t removed = found->second;
  index_.erase(found);
  rows_.erase(rows_.begin() + ptrdiff_t(removed));
  for (size_t r = removed; r < rows_.size(); ++r) index_[rows_[r].name] = r;
}

void TrafficClass::RemoveListItem(std::string_view address, int32_t tag) {
  Row* row = Find(address);
  if (row == nullptr) return;
  for (int position = 0; position <= row->current; ++position) {
    Slot& slot = row->ring[size_t(position)];
    if (slot.tag == tag) {
      slot.tag = 0;
      return;
    }
  }
}

std::string TrafficClass::RetrieveLast(std::string_view address) const {
  const Row* row = Find(address);
  return row == nullptr || row->current < 0 ? std::string() : row->ring[size_t(row->current)].text;
}

void TrafficClass::SetMessagesTag(std::string_view address, int32_t tag) {
  Row* row = Find(address);
  if (row != nullptr && row->current >= 0) row->ring[size_t(row->current)].tag = tag;
}

int32_t TrafficClass::GetMessagesTag(std::string_view address) const {
  const Row* row = Find(address);
  return row == nullptr || row->current < 0 ? 0 : row->ring[size_t(row->current)].tag;
}

bool TrafficClass::Duplicate(std::string_view address, std::string_view record) const {
  const Row* row = Find(address);
  return row != nullptr && row->last_record == record;
}

}  // namespace kestrel
