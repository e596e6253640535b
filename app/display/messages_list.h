#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "app/platform/text_window.h"

namespace kestrel {

// The one-line text of a message for the "Message Details" column: escape sequences removed,
// a blank before a carriage return shown as ", ", runs of blanks made one, other control
// characters shown as ".".
std::string MessagesFormat(std::string_view text);

// One row of the Messages list.
struct MessagesRow {
  std::string type;      // "Type"
  std::string to;        // "To"
  std::string details;   // "Message Details"
  std::string received;  // "Received": "hh:mm:ss", plus one blank per day roll-over since
  int32_t tag = 0;       // the message number in the Messages store; unique in the list
  Colour colour = kDefaultColour;
  uint64_t arrival = 0;  // grows with every row added: the oldest row whatever the order
};

// The Messages list's rows as plain logic, in list order. Rows are known by their tag. The
// window shows them through a model that listens to the changes.
class MessagesList {
 public:
  enum Column { kType = 0, kTo = 1, kDetails = 2, kReceived = 3 };

  // Told of every change, so a view model can announce it around the change.
  class Observer {
   public:
    virtual ~Observer() = default;
    virtual void BeforeInsert(int /*position*/) {}
    virtual void AfterInsert() {}
    virtual void BeforeRemove(int /*position*/) {}
    virtual void AfterRemove() {}
    virtual void Changed(int /*first*/, int /*last*/) {}
    virtual void BeforeReorder() {}
    virtual void AfterReorder() {}
  };

  void SetObserver(Observer* observer) { observer_ = observer; }

  // Appends a row with this Type text and tag; false (nothing added) when the tag is in use.
  bool Append(std::string_view type, int32_t tag);
  // The row's position in list order, or -1.
  int Find(int32_t tag) const;
  const MessagesRow* Row(int32_t tag) const;
  // Each setter answers false when no row has the tag.
  bool SetType(int32_t tag, std::string_view type);
  bool SetTo(int32_t tag, std::string_view to);
  bool SetDetails(int32_t tag, std::string_view details);
  bool SetReceived(int32_t tag, std::string_view received);
  bool SetColour(int32_t tag, Colour colour);
  // Adds one blank to the Received text of every row.
  void AppendBlankToReceived();
  int Count() const { return int(rows_.size()); }
  bool Remove(int32_t tag);
  // The tag of the row that was added first of those still listed; 0 when the list is empty.
  int32_t OldestArrived() const;
  // Reorders by a column's text, letters without case; rows with equal texts keep their order.
  void Sort(Column column, bool ascending);

  // Rows in list order.
  const std::vector<MessagesRow>& Rows() const { return rows_; }

 private:
  template <typename Setter>
  bool Set(int32_t tag, Setter setter);

  std::vector<MessagesRow> rows_;
  uint64_t next_arrival_ = 1;
  Observer* observer_ = nullptr;
};

}  // namespace kestrel
