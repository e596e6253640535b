#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "app/platform/clock.h"

namespace kestrel {

// Minute boundaries (hh:mm:00) passed on the way from `from` to `to`; negative when `to` is
// earlier. Local time differs from UTC by whole minutes, so UTC minutes count the same.
int64_t MinuteBoundaries(Clock::TimePoint from, Clock::TimePoint to);

// The feed server's connected clients in order of arrival. Each carries the index of the socket
// that feeds it; indexes start at 1 and are never handed out twice in the life of the object.
// Positions are 1-based; a position out of range reads as index 0, "" and not gone. Runs on one
// thread; the clock is borrowed and must outlive the object.
class NetworkConnections {
 public:
  explicit NetworkConnections(const Clock& clock) : clock_(clock) {}

  // Appends a client heard from now; returns its new index.
  int Add(const std::string& remote_host);
  // Drops the client with this index, closing the gap; an unknown index changes nothing.
  void Remove(int index);
  int Count() const { return int(entries_.size()); }
  int Index(int position) const;
  // The client with this index was heard from now; an unknown index changes nothing.
  void UpdateTime(int index);
  // More than 5 minute boundaries lie between the client's last sign of life and now.
  bool Gone(int position) const;
  std::string RemoteHost(int position) const;
  // The indexes of every gone client, in list order: what a sweep removes.
  std::vector<int> GoneIndexes() const;

  static constexpr int kGoneMinutes = 5;

 private:
  struct Entry {
    int index;
    Clock::TimePoint update_time;
    std::string remote_host;
  };
  const Entry* At(int position) const;

  const Clock& clock_;
  std::vector<Entry> entries_;
  int next_index_ = 1;
};

}  // namespace kestrel
