#include "app/network/network_connections.h"

#include <algorithm>
#include <chrono>

namespace kestrel {

int64_t MinuteBoundaries(Clock::TimePoint from, Clock::TimePoint to) {
  using std::chrono::floor;
  using std::chrono::minutes;
  return (floor<minutes>(to.time_since_epoch()) - floor<minutes>(from.time_since_epoch())).count();
}

int NetworkConnections::Add(const std::string& remote_host) {
  const int index = next_index_++;
  entries_.push_back({index, clock_.Now(), remote_host});
  return index;
}

void NetworkConnections::Remove(int index) {
  const auto found = std::find_if(entries_.begin(), entries_.end(),
                                  [index](const Entry& e) { return e.index == index; });
  if (found != entries_.end()) entries_.erase(found);
}

const NetworkConnections::Entry* NetworkConnections::At(int position) const {
  if (position < 1 || position > Count()) return nullptr;
  return &entries_[size_t(position - 1)];
}

int NetworkConnections::Index(int position) const {
  const Entry* entry = At(position);
  return entry ? entry->index : 0;
}

void NetworkConnections::UpdateTime(int index) {
  for (Entry& e : entries_) {
    if (e.index == index) {
      e.update_time = clock_.Now();
      return;
    }
  }
}

bool NetworkConnections::Gone(int position) const {
  const Entry* entry = At(position);
  return entry && MinuteBoundaries(entry->update_time, clock_.Now()) > kGoneMinutes;
}

std::vector<int> NetworkConnections::GoneIndexes() const {
  std::vector<int> gone;
  for (int position = 1; position <= Count(); ++position) {
    if (Gone(position)) gone.push_back(Index(position));
  }
  return gone;
}

std::string NetworkConnections::RemoteHost(int position) const {
  const Entry* entry = At(position);
  return entry ? entry->remote_host : std::string();
}

}  // namespace kestrel
