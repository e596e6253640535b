#pragma once

#include <string>
#include <string_view>

namespace kestrel {

// The SMTP mail control as the e-mail queue drives it: properties, a recipient list, Send.
// The program's implementation is the Pigeon control; tests record what they are given.
class MailControl {
 public:
  virtual ~MailControl() = default;
  virtual void ClearToAddresses() = 0;
  virtual void AddToAddress(const std::string& address, const std::string& name) = 0;
  virtual void SetFromName(const std::string& name) = 0;
  virtual void SetFromAddress(const std::string& address) = 0;
  virtual void SetSubject(const std::string& subject) = 0;
  virtual void SetHostname(const std::string& hostname) = 0;
  virtual void SetContentType(const std::string& content_type) = 0;
  virtual void SetMessage(const std::string& message) = 0;
  // Runs the SMTP conversation; true when the server accepted the mail. The program's events
  // keep running while it waits.
  virtual bool Send() = 0;
};

}  // namespace kestrel
