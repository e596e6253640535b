#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "app/mail/mail_control.h"
#include "app/mail/mail_status.h"
#include "app/platform/clock.h"
#include "app/platform/text_window.h"
#include "app/profile/settings.h"

namespace kestrel {

// The program's outgoing mail. A mail waits in the spool until no update has reached it for more
// than five whole-second boundaries (so a message still growing by continuation blocks goes out
// once, complete), is then composed into one or more finished mails in the send queue, and the
// status tick hands those to the mail control one by one. A mail refused for now (a 4xx reply or
// no connection) stays queued and is tried again after growing pauses while newer mails go out;
// a mail refused for good (5xx, TLS, login) is dropped. Every failure is counted in Status() and
// written to the program's log. Nothing is kept across runs. Single-threaded: everything runs on
// the thread that owns the windows.
//
// Texts: rule texts (subject template, names, addresses) are UTF-8; message bodies are radio
// bytes, read as Latin-1. The finished mails are UTF-8 throughout.
class EMailClass {
 public:
  // Bounds for a flood the server cannot keep up with (or no server at all). A full spool queues
  // its oldest entry early rather than losing it; a full send queue drops its oldest mail, since
  // the newest alerts matter most to whoever reads them.
  static constexpr std::size_t kMaxSpooled = 1000;
  static constexpr std::size_t kMaxQueued = 1000;

  // `clock` must outlive the queue.
  explicit EMailClass(const Clock& clock);

  // Appends a spool entry stamped now. `body` is stored through CollapseSpaces when
  // `collapse_spaces` is set. `alias` and `continuation` are accepted but not used. A
  // `split_chars` or `limit_chars` of 0 or less means "do not split" / "no limit". Always true.
  bool Add(const std::string& from_name, const std::string& from_address,
           const std::string& to_addresses, const std::string& subject,
           const std::string& terminal_id, const std::string& alias, const std::string& body,
           bool continuation, int rule_index, bool collapse_spaces, bool html_formatting,
           int split_chars, int limit_chars);
  // Replaces the body and stamp of the latest spool entry with the same terminal (exact) and rule
  // index, keeping its other fields; without such an entry it behaves as Add. Always true.
  bool Update(const std::string& from_name, const std::string& from_address,
              const std::string& to_addresses, const std::string& subject,
              const std::string& terminal_id, const std::string& alias, const std::string& body,
              bool continuation, int rule_index, bool collapse_spaces, bool html_formatting,
              int split_chars, int limit_chars);

  bool Spooled() const { return !spool_.empty(); }
  // Moves every spool entry that has waited more than five whole-second boundaries to the send
  // queue, keeping the order of those that stay.
  void QueueEMails();
  bool Queued() const { return !queue_.empty(); }
  // False when the send queue is empty; otherwise fills the outputs from the first mail and
  // removes it.
  bool GetQueuedMessage(std::string& from_name, std::string& from_address,
                        std::string& to_addresses, std::string& subject, std::string& body,
                        bool& html_formatting);

  // Hands every queued mail that is due to `control`, oldest first, one Send at a time. A mail
  // refused for now waits RetryDelay(its failures) and keeps its place; after a connection
  // failure the rest wait for the next tick, since the server is not there for them either.
  // Send keeps the program's events running, so a tick may call this again while a send is in
  // progress: that call returns at once and leaves the queue for a later tick. Colours are the
  // MDT display's (red in the low byte); a negative colour means the window's default, written
  // as black text on white.
  void SendQueuedEMails(MailControl& control, const std::string& smtp_mail_server,
                        Colour text_colour, Colour background_colour);
  // One finished mail, as the send queue holds it.
  struct QueuedMail {
    std::string FromName;
    std::string FromAddress;
    std::string ToAddresses;
    std::string Subject;
    std::string Body;
    bool HTMLFormatting = false;
    int Failures = 0;            // temporary refusals so far
    Clock::TimePoint NextTry{};  // not sent before this time
    std::uint64_t Sequence = 0;  // the queue's order: older mails have smaller numbers
  };
  // Hands one mail to the control and sends it: the To list cleared and filled from the
  // comma-separated addresses, the properties and connection set, an HTML body in the MDT
  // display's colours. Returns Send's answer.
  static bool SendMail(MailControl& control, const QueuedMail& mail,
                       const std::string& smtp_mail_server, const MailConnection& connection,
                       Colour text_colour, Colour background_colour);
  // The pause after a mail's `failures`-th temporary refusal: 1, 2, 4, 8 minutes, then 15.
  static std::chrono::minutes RetryDelay(int failures);
  // Security, port and login for every following send.
  void SetConnection(MailConnection connection) { connection_ = std::move(connection); }
  const MailStatus& Status() const { return status_; }
  // Mails not sent yet: spooled and queued.
  std::size_t Waiting() const { return spool_.size() + queue_.size(); }
  // The status bar's tool tip and the like: MailStatusText of Status() and Waiting().
  std::string StatusText() const { return MailStatusText(status_, Waiting()); }
  // The status timer's mail step: queue what has waited long enough, then send what is queued.
  void StatusTick(MailControl& control, const std::string& smtp_mail_server, Colour text_colour,
                  Colour background_colour);

  bool Sending() const { return sending_; }
  std::size_t SpoolCount() const { return spool_.size(); }
  std::size_t QueueCount() const { return queue_.size(); }
  // Mails dropped from a full send queue since the queue was made (also counted as failed).
  std::size_t DroppedCount() const { return dropped_; }

  // Every CR LF pair becomes " / ", then every run of two or more spaces becomes one space.
  static std::string CollapseSpaces(std::string_view text);
  // A colour as six upper-case hex digits in RRGGBB order, for HTML.
  static std::string HtmlColour(Colour colour, Colour default_colour);

 private:
  struct SpoolEntry {
    Clock::TimePoint SpoolTime;
    bool queued = false;  // moved to the send queue; removed at the end of QueueEMails
    std::string TerminalId;
    int RuleIndex = 0;
    std::string FromName;
    std::string FromAddress;
    std::string ToAddresses;
    std::string Subject;
    std::string Body;
    bool HTMLFormatting = false;
    int SplitChars = 0;
    int LimitChars = 0;
  };
  void QueueEMail(SpoolEntry& entry);
  void Enqueue(QueuedMail mail);
  // Puts a mail back in its place by Sequence.
  void Requeue(QueuedMail mail);
  void DropOldestWhileOver(std::size_t limit);
  // Counts and logs a refusal of `mail`; true when it stays queued.
  bool Refused(QueuedMail& mail, const MailControl& control);
  static bool WaitedLongEnough(SpoolEntry& entry, Clock::TimePoint now);

  const Clock& clock_;
  std::vector<SpoolEntry> spool_;
  std::deque<QueuedMail> queue_;
  std::size_t dropped_ = 0;
  std::uint64_t next_sequence_ = 0;
  bool sending_ = false;
  MailConnection connection_;
  MailStatus status_;
};

// The connection the SMTP settings describe, with `password` (from the secret store).
MailConnection MailConnectionFromSettings(const Settings& settings, std::string password);

// The Options dialog's test: one short plain-text mail to `to_address` through `control`, to
// `server` over `connection`, from the user name when it is an address, else from `to_address`.
// Every line of the conversation goes to `transcript` as the control reports it, with the
// password masked once more in case a line still held it. `text` is the result for the user.
struct TestEMailResult {
  bool sent = false;
  std::string text;
};
TestEMailResult SendTestEMail(MailControl& control, const std::string& server,
                              const MailConnection& connection, const std::string& to_address,
                              const std::function<void(const std::string&)>& transcript);

}  // namespace kestrel
