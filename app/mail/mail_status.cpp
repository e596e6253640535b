#include "app/mail/mail_status.h"

#include <cstdio>

namespace kestrel {

void MailStatus::CountRetry(const std::string& error, Clock::TimePoint when) {
  ++retried_;
  Remember(error, when);
}

void MailStatus::CountFailure(const std::string& error, Clock::TimePoint when) {
  ++failed_;
  Remember(error, when);
}

void MailStatus::Remember(const std::string& error, Clock::TimePoint when) {
  last_error_ = error;
  last_error_time_ = when;
}

std::string FormatLocalTime(Clock::TimePoint time) {
  const std::tm local = LocalTime(time);
  char text[80];
  std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d", local.tm_year + 1900,
                local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec);
  return text;
}

std::string MailStatusText(const MailStatus& status, std::size_t waiting) {
  std::string text = "E-mail: " + std::to_string(status.Sent()) + " sent, " +
                     std::to_string(status.Retried()) + " retried, " +
                     std::to_string(status.Failed()) + " failed, " + std::to_string(waiting) +
                     " waiting";
  if (const auto when = status.LastErrorTime()) {
    text += "\nLast error at " + FormatLocalTime(*when) + ": " + status.LastError();
  }
  return text;
}

}  // namespace kestrel
