#include "app/mail/email_class.h"

#include <algorithm>
#include <cstdint>
#include <utility>

namespace kestrel {
namespace {

constexpr std::size_t kPreviewLength = 80;
constexpr Colour kDefaultTextColour = 0x000000;
constexpr Colour kDefaultBackgroundColour = 0xFFFFFF;

std::string Trim(std::string_view text) {
  const auto blank = [](char c) { return c == ' ' || c == '\t'; };
  while (!text.empty() && blank(text.front())) text.remove_prefix(1);
  while (!text.empty() && blank(text.back())) text.remove_suffix(1);
  return std::string(text);
}

// Fills every "%T" of the template in one pass, so a preview that itself holds "%T" is not
// filled again.
std::string FillSubject(std::string_view subject, std::string_view preview) {
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
    mail.Body = std::string(rest.substr(0, length));
    mail.HTMLFormatting = entry.HTMLFormatting;
    Enqueue(std::move(mail));
    rest.remove_prefix(length);
  }
}

void EMailClass::Enqueue(QueuedMail mail) {
  if (queue_.size() >= kMaxQueued) {
    queue_.pop_front();
    ++dropped_;
  }
  queue_.push_back(std::move(mail));
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

  QueuedMail mail;
  while (GetQueuedMessage(mail.FromName, mail.FromAddress, mail.ToAddresses, mail.Subject,
                          mail.Body, mail.HTMLFormatting)) {
    // A mail the server refuses is dropped: the queue does not retry.
    SendMail(control, mail, smtp_mail_server, text_colour, background_colour);
  }
}

void EMailClass::SendMail(MailControl& control, const QueuedMail& mail,
                          const std::string& smtp_mail_server, Colour text_colour,
                          Colour background_colour) {
  control.ClearToAddresses();
  control.SetFromName(mail.FromName);
  control.SetFromAddress(mail.FromAddress);
  control.SetSubject(mail.Subject);
  control.SetHostname(smtp_mail_server);
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
  control.Send();
}

void EMailClass::StatusTick(MailControl& control, const std::string& smtp_mail_server,
                            Colour text_colour, Colour background_colour) {
  if (Spooled()) QueueEMails();
  if (Queued()) SendQueuedEMails(control, smtp_mail_server, text_colour, background_colour);
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
