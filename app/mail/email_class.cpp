#include "app/mail/email_class.h"

#include <algorithm>
#include <cstdint>
#include <utility>

#include "app/platform/program_log.h"

namespace kestrel {
namespace {

constexpr std::size_t kPreviewLength = 80;
constexpr Colour kDefaultTextColour = 0x000000;
constexpr Colour kDefaultBackgroundColour = 0xFFFFFF;
constexpr std::chrono::minutes kLongestRetryDelay{15};

// Radio text is one character a byte; in UTF-8 the upper half takes two bytes each.
std::string Latin1ToUtf8(std::string_view text) {
  std::string utf8;
  utf8.reserve(text.size());
  for (char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x80) {
      utf8 += c;
    } else {
      utf8 += char(0xC0 | (byte >> 6));
      utf8 += char(0x80 | (byte & 0x3F));
    }
  }
  return utf8;
}

bool IsUtf8(std::string_view text) {
  for (std::size_t i = 0; i < text.size();) {
    const auto lead = static_cast<unsigned char>(text[i]);
    std::size_t length = 1;
    uint32_t code = lead;
    if (lead >= 0xF0 && lead <= 0xF4) {
      length = 4;
      code = lead & 0x07;
    } else if (lead >= 0xE0) {
      length = 3;
      code = lead & 0x0F;
    } else if (lead >= 0xC2 && lead < 0xE0) {
      length = 2;
      code = lead & 0x1F;
    } else if (lead >= 0x80) {
      return false;
    }
    if (i + length > text.size()) return false;
    for (std::size_t k = 1; k < length; ++k) {
      const auto next = static_cast<unsigned char>(text[i + k]);
      if ((next & 0xC0) != 0x80) return false;
      code = (code << 6) | (next & 0x3F);
    }
    // Overlong forms, surrogates and values past U+10FFFF are no text.
    if ((length == 3 && (code < 0x800 || (code >= 0xD800 && code <= 0xDFFF))) ||
        (length == 4 && (code < 0x10000 || code > 0x10FFFF))) {
      return false;
    }
    i += length;
  }
  return true;
}

// Why a send failed, as the control reports it.
std::string SendError(const MailControl& control) {
  std::string error = control.LastError();
  return error.empty() ? "the server did not accept it" : error;
}

std::string NotSentText(const EMailClass::QueuedMail& mail, const std::string& error) {
  return "E-mail to " + mail.ToAddresses + " (\"" + mail.Subject + "\") not sent: " + error;
}

std::string Trim(std::string_view text) {
  const auto blank = [](char c) { return c == ' ' || c == '\t'; };
  while (!text.empty() && blank(text.front())) text.remove_prefix(1);
  while (!text.empty() && blank(text.back())) text.remove_suffix(1);
  return std::string(text);
}

// Fills every "%T" of the template in one pass, so a preview that itself holds "%T" is not
// filled again. The template is UTF-8 (a profile from before UTF-8 is read as Latin-1), the
// preview radio text; the result is UTF-8.
std::string FillSubject(std::string_view template_text, std::string_view radio_preview) {
  const std::string subject =
      IsUtf8(template_text) ? std::string(template_text) : Latin1ToUtf8(template_text);
  const std::string preview = Latin1ToUtf8(radio_preview);
  std::string filled;
  for (std::size_t i = 0; i < subject.size(); ++i) {
    if (subject[i] == '%' && i + 1 < subject.size() && subject[i + 1] == 'T') {
      filled += preview;
      ++i;
    } else {
      filled += subject[i];
    }
  }
  // A lone CR or LF left by the message text would end the Subject header early and turn the
  // rest of it into headers of its own.
  std::replace(filled.begin(), filled.end(), '\r', ' ');
  std::replace(filled.begin(), filled.end(), '\n', ' ');
  return filled;
}

// Radio text inside <PRE> must show as typed: a "<" would otherwise start a tag and hide text.
std::string EscapeHtml(std::string_view text) {
  std::string escaped;
  escaped.reserve(text.size());
  for (char c : text) {
    switch (c) {
      case '&':
        escaped += "&amp;";
        break;
      case '<':
        escaped += "&lt;";
        break;
      case '>':
        escaped += "&gt;";
        break;
      default:
        escaped += c;
    }
  }
  return escaped;
}

}  // namespace

EMailClass::EMailClass(const Clock& clock) : clock_(clock) {}

bool EMailClass::Add(const std::string& from_name, const std::string& from_address,
                     const std::string& to_addresses, const std::string& subject,
                     const std::string& terminal_id, const std::string& /*alias*/,
                     const std::string& body, bool /*continuation*/, int rule_index,
                     bool collapse_spaces, bool html_formatting, int split_chars, int limit_chars) {
  if (spool_.size() >= kMaxSpooled) {
    // The oldest entry goes out now, complete as far as it got, instead of being lost.
    QueueEMail(spool_.front());
    spool_.erase(spool_.begin());
  }
  SpoolEntry entry;
  entry.SpoolTime = clock_.Now();
  entry.TerminalId = terminal_id;
  entry.RuleIndex = rule_index;
  entry.FromName = from_name;
  entry.FromAddress = from_address;
  entry.ToAddresses = to_addresses;
  entry.Subject = subject;
  entry.Body = collapse_spaces ? CollapseSpaces(body) : body;
  entry.HTMLFormatting = html_formatting;
  entry.SplitChars = split_chars;
  entry.LimitChars = limit_chars;
  spool_.push_back(std::move(entry));
  return true;
}

bool EMailClass::Update(const std::string& from_name, const std::string& from_address,
                        const std::string& to_addresses, const std::string& subject,
                        const std::string& terminal_id, const std::string& alias,
                        const std::string& body, bool continuation, int rule_index,
                        bool collapse_spaces, bool html_formatting, int split_chars,
                        int limit_chars) {
  for (auto it = spool_.rbegin(); it != spool_.rend(); ++it) {
    if (it->TerminalId == terminal_id && it->RuleIndex == rule_index) {
      it->Body = collapse_spaces ? CollapseSpaces(body) : body;
      it->SpoolTime = clock_.Now();
      return true;
    }
  }
  return Add(from_name, from_address, to_addresses, subject, terminal_id, alias, body, continuation,
             rule_index, collapse_spaces, html_formatting, split_chars, limit_chars);
}

bool EMailClass::WaitedLongEnough(SpoolEntry& entry, Clock::TimePoint now) {
  using std::chrono::floor;
  using std::chrono::seconds;
  if (now < entry.SpoolTime) {
    // The wall clock was set back: restart the wait instead of holding the mail until the clock
    // catches up, which could be hours.
    entry.SpoolTime = now;
    return false;
  }
  const auto boundaries =
      floor<seconds>(now.time_since_epoch()) - floor<seconds>(entry.SpoolTime.time_since_epoch());
  return boundaries.count() > 5;
}

void EMailClass::QueueEMails() {
  const Clock::TimePoint now = clock_.Now();
  for (SpoolEntry& entry : spool_) {
    if (WaitedLongEnough(entry, now)) {
      QueueEMail(entry);
      entry.queued = true;
    }
  }
  std::erase_if(spool_, [](const SpoolEntry& entry) { return entry.queued; });
}

void EMailClass::QueueEMail(SpoolEntry& entry) {
  std::string body = std::move(entry.Body);
  entry.Body.clear();
  const std::string preview = CollapseSpaces(body).substr(0, kPreviewLength);
  const std::string subject = FillSubject(entry.Subject, preview);

  // Sizes come from 16-bit profile values; zero or less means none rather than a bad length.
  if (entry.LimitChars > 0 && body.size() > std::size_t(entry.LimitChars)) {
    body.resize(std::size_t(entry.LimitChars));
  }
  // Split and limit count radio characters, one a byte, so a piece never ends inside a
  // character once it is UTF-8.
  const std::size_t piece_size =
      entry.SplitChars > 0 ? std::size_t(entry.SplitChars) : std::max<std::size_t>(body.size(), 1);

  std::string_view rest = body;
  for (int piece = 1; !rest.empty(); ++piece) {
    const std::size_t length = std::min(piece_size, rest.size());
    QueuedMail mail;
    mail.FromName = entry.FromName;
    mail.FromAddress = entry.FromAddress;
    mail.ToAddresses = entry.ToAddresses;
    mail.Subject = piece == 1 ? subject : subject + " (Part " + std::to_string(piece) + ")";
    mail.Body = Latin1ToUtf8(rest.substr(0, length));
    mail.HTMLFormatting = entry.HTMLFormatting;
    Enqueue(std::move(mail));
    rest.remove_prefix(length);
  }
}

void EMailClass::Enqueue(QueuedMail mail) {
  DropOldestWhileOver(kMaxQueued - 1);
  mail.Sequence = next_sequence_++;
  queue_.push_back(std::move(mail));
}

void EMailClass::Requeue(QueuedMail mail) {
  const auto place = std::lower_bound(
      queue_.begin(), queue_.end(), mail.Sequence,
      [](const QueuedMail& queued, std::uint64_t sequence) { return queued.Sequence < sequence; });
  queue_.insert(place, std::move(mail));
  DropOldestWhileOver(kMaxQueued);
}

void EMailClass::DropOldestWhileOver(std::size_t limit) {
  while (queue_.size() > limit) {
    const QueuedMail& oldest = queue_.front();
    const std::string error = "the send queue was full";
    status_.CountFailure(error, clock_.Now());
    LogProgramEvent(NotSentText(oldest, error) + "; given up");
    queue_.pop_front();
    ++dropped_;
  }
}

std::chrono::minutes EMailClass::RetryDelay(int failures) {
  if (failures <= 1) return std::chrono::minutes(1);
  // Doubling stops at the cap long before the shift could overflow.
  if (failures > 5) return kLongestRetryDelay;
  return std::min(std::chrono::minutes(1 << (failures - 1)), kLongestRetryDelay);
}

bool EMailClass::Refused(QueuedMail& mail, const MailControl& control) {
  const Clock::TimePoint now = clock_.Now();
  const std::string error = SendError(control);
  const std::string what = NotSentText(mail, error);
  if (control.IsTemporaryFailure()) {
    ++mail.Failures;
    const std::chrono::minutes delay = RetryDelay(mail.Failures);
    mail.NextTry = now + delay;
    status_.CountRetry(error, now);
    LogProgramEvent(what + "; next try in " + std::to_string(delay.count()) +
                    (delay.count() == 1 ? " minute" : " minutes"));
    return true;
  }
  status_.CountFailure(error, now);
  LogProgramEvent(what + "; given up");
  return false;
}

bool EMailClass::GetQueuedMessage(std::string& from_name, std::string& from_address,
                                  std::string& to_addresses, std::string& subject,
                                  std::string& body, bool& html_formatting) {
  if (queue_.empty()) return false;
  QueuedMail& mail = queue_.front();
  from_name = std::move(mail.FromName);
  from_address = std::move(mail.FromAddress);
  to_addresses = std::move(mail.ToAddresses);
  subject = std::move(mail.Subject);
  body = std::move(mail.Body);
  html_formatting = mail.HTMLFormatting;
  queue_.pop_front();
  return true;
}

void EMailClass::SendQueuedEMails(MailControl& control, const std::string& smtp_mail_server,
                                  Colour text_colour, Colour background_colour) {
  if (sending_) return;
  // Cleared on every way out, so one failed tick cannot stop mail for good.
  struct Busy {
    bool& flag;
    explicit Busy(bool& f) : flag(f) { flag = true; }
    ~Busy() { flag = false; }
  } busy(sending_);

  for (;;) {
    const Clock::TimePoint now = clock_.Now();
    auto due = queue_.end();
    for (auto it = queue_.begin(); it != queue_.end(); ++it) {
      // A wall clock set back must not hold a mail for longer than the longest pause.
      if (it->NextTry > now + kLongestRetryDelay) it->NextTry = now;
      if (it->NextTry <= now) {
        due = it;
        break;
      }
    }
    if (due == queue_.end()) return;
    // Out of the queue while it is sent: the events that run meanwhile may add to the queue.
    QueuedMail mail = std::move(*due);
    queue_.erase(due);
    if (SendMail(control, mail, smtp_mail_server, connection_, text_colour, background_colour)) {
      status_.CountSent();
      continue;
    }
    const bool no_server = control.IsTemporaryFailure() && control.LastReplyCode() == 0;
    if (Refused(mail, control)) Requeue(std::move(mail));
    if (no_server) return;
  }
}

bool EMailClass::SendMail(MailControl& control, const QueuedMail& mail,
                          const std::string& smtp_mail_server, const MailConnection& connection,
                          Colour text_colour, Colour background_colour) {
  control.ClearToAddresses();
  control.SetFromName(mail.FromName);
  control.SetFromAddress(mail.FromAddress);
  control.SetSubject(mail.Subject);
  control.SetHostname(smtp_mail_server);
  control.SetConnection(connection);
  if (mail.HTMLFormatting) {
    control.SetContentType("text/html");
    control.SetMessage("<HTML><BODY BGCOLOR=#" +
                       HtmlColour(background_colour, kDefaultBackgroundColour) + "><FONT COLOR=#" +
                       HtmlColour(text_colour, kDefaultTextColour) + "><PRE>" +
                       EscapeHtml(mail.Body) + "</PRE></FONT></BODY></HTML>");
  } else {
    control.SetContentType("text/plain");
    control.SetMessage(mail.Body);
  }
  std::string_view rest = mail.ToAddresses;
  for (;;) {
    const std::size_t comma = rest.find(',');
    control.AddToAddress(Trim(rest.substr(0, comma)), "");
    if (comma == std::string_view::npos) break;
    rest.remove_prefix(comma + 1);
  }
  return control.Send();
}

void EMailClass::StatusTick(MailControl& control, const std::string& smtp_mail_server,
                            Colour text_colour, Colour background_colour) {
  if (Spooled()) QueueEMails();
  if (Queued()) SendQueuedEMails(control, smtp_mail_server, text_colour, background_colour);
}

MailConnection MailConnectionFromSettings(const Settings& settings, std::string password) {
  return {settings.SMTPSecurity, settings.SMTPPort, settings.SMTPUserName, std::move(password),
          settings.SMTPCAFile};
}

TestEMailResult SendTestEMail(MailControl& control, const std::string& server,
                              const MailConnection& connection, const std::string& to_address,
                              const std::function<void(const std::string&)>& transcript) {
  const std::string to = Trim(to_address);
  if (server.empty()) return {false, "Enter the SMTP mail server first."};
  if (to.empty()) return {false, "Enter the address the test e-mail should go to."};
  const std::string& password = connection.password;
  control.SetTranscript([&transcript, &password](const std::string& line) {
    std::string masked = line;
    for (std::size_t at; !password.empty() && (at = masked.find(password)) != std::string::npos;) {
      masked.replace(at, password.size(), "****");
    }
    transcript(masked);
  });
  control.ClearToAddresses();
  control.AddToAddress(to, "");
  control.SetFromName("Kestrel");
  control.SetFromAddress(connection.user_name.find('@') != std::string::npos ? connection.user_name
                                                                             : to);
  control.SetSubject("Kestrel test e-mail");
  control.SetHostname(server);
  control.SetConnection(connection);
  control.SetContentType("text/plain");
  control.SetMessage(
      "This test e-mail from Kestrel arrived, so rule e-mail can reach this address.");
  const bool sent = control.Send();
  control.SetTranscript({});
  if (sent) return {true, "The server accepted the test e-mail."};
  return {false, "The test e-mail was not sent: " + SendError(control)};
}

std::string EMailClass::CollapseSpaces(std::string_view text) {
  std::string slashed;
  slashed.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') {
      slashed += " / ";
      ++i;
    } else {
      slashed += text[i];
    }
  }
  std::string collapsed;
  collapsed.reserve(slashed.size());
  for (char c : slashed) {
    if (c == ' ' && !collapsed.empty() && collapsed.back() == ' ') continue;
    collapsed += c;
  }
  return collapsed;
}

std::string EMailClass::HtmlColour(Colour colour, Colour default_colour) {
  // Negative values are the window's default; above 24 bits only the RGB bytes mean a colour.
  const uint32_t bgr = uint32_t(colour < 0 ? default_colour : colour) & 0xFFFFFF;
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string rgb;
  for (int shift : {0, 8, 16}) {  // red is the low byte
    const unsigned byte = (bgr >> shift) & 0xFF;
    rgb += kHex[byte >> 4];
    rgb += kHex[byte & 0xF];
  }
  return rgb;
}

}  // namespace kestrel
