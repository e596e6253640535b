#pragma once

#include <chrono>
#include <cstddef>
#include <deque>
#include <string>
#include <string_view>
#include <vector>

#include "app/mail/mail_control.h"
#include "app/platform/clock.h"
#include "app/platform/text_window.h"

namespace kestrel {

// The program's outgoing mail. A mail waits in the spool until no update has reached it for more
// than five whole-second boundaries (so a message still growing by continuation blocks goes out
// once, complete), is then composed into one or more finished mails in the send queue, and the
// status tick hands those to the mail control one by one. Single-threaded: everything runs on the
// thread that owns the windows.
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

  // Hands every queued mail to `control`, one Send at a time. Send keeps the program's events
  // running, so a tick may call this again while a send is in progress: that call returns at once
  // and leaves the queue for a later tick. Colours are the MDT display's (red in the low byte);
  // a negative colour means the window's default, written as black text on white.
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
  };
  // Hands one mail to the control and sends it: the To list cleared and filled from the
  // comma-separated addresses, the properties set, an HTML body in the MDT display's colours.
  static void SendMail(MailControl& control, const QueuedMail& mail,
                       const std::string& smtp_mail_server, Colour text_colour,
                       Colour background_colour);
  // The status timer's mail step: queue what has waited long enough, then send what is queued.
  void StatusTick(MailControl& control, const std::string& smtp_mail_server, Colour text_colour,
                  Colour background_colour);

  bool Sending() const { return sending_; }
  std::size_t SpoolCount() const { return spool_.size(); }
  std::size_t QueueCount() const { return queue_.size(); }
  // Mails dropped from a full send queue since the queue was made.
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
  static bool WaitedLongEnough(SpoolEntry& entry, Clock::TimePoint now);

  const Clock& clock_;
  std::vector<SpoolEntry> spool_;
  std::deque<QueuedMail> queue_;
  std::size_t dropped_ = 0;
  bool sending_ = false;
};

}  // namespace kestrel
