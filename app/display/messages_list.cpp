#include "app/display/messages_list.h"

#include <algorithm>

#include "app/display/mdt_text.h"

namespace kestrel {
namespace {

char Fold(char c) { return c >= 'a' && c <= 'z' ? char(c - 'a' + 'A') : c; }

// Byte order after folding letters, so that "alpha" and "Alpha" sort together.
bool LessWithoutCase(const std::string& a, const std::string& b) {
  return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
    return static_cast<unsigned char>(Fold(x)) < static_cast<unsigned char>(Fold(y));
  });
}

const std::string& ColumnText(const MessagesRow& row, MessagesList::Column column) {
  switch (column) {
    case MessagesList::kType:
      return row.type;
    case MessagesList::kTo:
      return row.to;
    case MessagesList::kDetails:
      return row.details;
    case MessagesList::kReceived:
      break;
  }
  return row.received;
}

}  // namespace

std::string MessagesFormat(std::string_view text) {
  const std::string plain = ReplaceText(RemoveEscapeSequences(text), " \r", ", ");
  std::string result;
  result.reserve(plain.size());
  // Collapsing in one pass gives what replacing pairs until none is left gives.
  for (char c : plain) {
    if (c == ' ' && !result.empty() && result.back() == ' ') continue;
    result += static_cast<unsigned char>(c) >= 32 ? c : '.';
  }
  return result;
}

bool MessagesList::Append(std::string_view type, int32_t tag) {
  if (Find(tag) >= 0) return false;
  const int position = Count();
  if (observer_ != nullptr) observer_->BeforeInsert(position);
  MessagesRow row;
  row.type = type;
  row.tag = tag;
  row.arrival = next_arrival_++;
  rows_.push_back(std::move(row));
  if (observer_ != nullptr) observer_->AfterInsert();
  return true;
}

int MessagesList::Find(int32_t tag) const {
  // The newest rows are the ones asked for most: search from the end.
  for (int position = Count() - 1; position >= 0; --position) {
    if (rows_[size_t(position)].tag == tag) return position;
  }
  return -1;
}

const MessagesRow* MessagesList::Row(int32_t tag) const {
  const int position = Find(tag);
  return position < 0 ? nullptr : &rows_[size_t(position)];
}

template <typename Setter>
bool MessagesList::Set(int32_t tag, Setter setter) {
  const int position = Find(tag);
  if (position < 0) return false;
  setter(rows_[size_t(position)]);
  if (observer_ != nullptr) observer_->Changed(position, position);
  return true;
}

bool MessagesList::SetType(int32_t tag, std::string_view type) {
  return Set(tag, [&](MessagesRow& row) { row.type = type; });
}

bool MessagesList::SetTo(int32_t tag, std::string_view to) {
  return Set(tag, [&](MessagesRow& row) { row.to = to; });
}

bool MessagesList::SetDetails(int32_t tag, std::string_view details) {
  return Set(tag, [&](MessagesRow& row) { row.details = details; });
}

bool MessagesList::SetReceived(int32_t tag, std::string_view received) {
  return Set(tag, [&](MessagesRow& row) { row.received = received; });
}

bool MessagesList::SetColour(int32_t tag, Colour colour) {
  return Set(tag, [&](MessagesRow& row) { row.colour = colour; });
}

void MessagesList::AppendBlankToReceived() {
  if (rows_.empty()) return;
  for (MessagesRow& row : rows_) row.received += ' ';
  if (observer_ != nullptr) observer_->Changed(0, Count() - 1);
}

bool MessagesList::Remove(int32_t tag) {
  const int position = Find(tag);
  if (position < 0) return false;
  if (observer_ != nullptr) observer_->BeforeRemove(position);
  rows_.erase(rows_.begin() + position);
  if (observer_ != nullptr) observer_->AfterRemove();
  return true;
}

int32_t MessagesList::OldestArrived() const {
  const auto oldest = std::min_element(
      rows_.begin(), rows_.end(),
      [](const MessagesRow& a, const MessagesRow& b) { return a.arrival < b.arrival; });
  return oldest == rows_.end() ? 0 : oldest->tag;
}

void MessagesList::Sort(Column column, bool ascending) {
  if (observer_ != nullptr) observer_->BeforeReorder();
  std::stable_sort(rows_.begin(), rows_.end(), [&](const MessagesRow& a, const MessagesRow& b) {
    return ascending ? LessWithoutCase(ColumnText(a, column), ColumnText(b, column))
                     : LessWithoutCase(ColumnText(b, column), ColumnText(a, column));
  });
  if (observer_ != nullptr) observer_->AfterReorder();
}

}  // namespace kestrel
