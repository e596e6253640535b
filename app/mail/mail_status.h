#pragma once

#include <cstddef>
#include <optional>
#include <string>

#include "app/platform/clock.h"

namespace kestrel {

// What became of the program's mail since it started: counts and the last failure. Window thread
// only, like the queue that fills it.
class MailStatus {
 public:
  // A mail the server accepted.
  void CountSent() { ++sent_; }
  // A mail refused for now (4xx, no connection) that stays queued for another try.
  void CountRetry(const std::string& error, Clock::TimePoint when);
  // A mail given up: refused for good (5xx, TLS, login) or pushed out of a full queue.
  void CountFailure(const std::string& error, Clock::TimePoint when);

  std::size_t Sent() const { return sent_; }
  std::size_t Retried() const { return retried_; }
  std::size_t Failed() const { return failed_; }
  // The last failure of either kind, "" before the first; its time is none before the first.
  const std::string& LastError() const { return last_error_; }
  std::optional<Clock::TimePoint> LastErrorTime() const { return last_error_time_; }

 private:
  void Remember(const std::string& error, Clock::TimePoint when);

  std::size_t sent_ = 0;
  std::size_t retried_ = 0;
  std::size_t failed_ = 0;
  std::string last_error_;
  std::optional<Clock::TimePoint> last_error_time_;
};

// The status in a few lines for a tool tip or the Mail Status window (UTF-8, LF between lines):
//   "E-mail: 3 sent, 1 retried, 0 failed, 2 waiting"
//   "Last error at 2026-12-08 14:02:11: 451 mailbox busy"   (only after a failure)
// `waiting` is the number of mails queued; the time is local.
std::string MailStatusText(const MailStatus& status, std::size_t waiting);

// A time as "YYYY-MM-DD HH:MM:SS", local.
std::string FormatLocalTime(Clock::TimePoint time);

}  // namespace kestrel
