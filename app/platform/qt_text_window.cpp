#include "app/platform/qt_text_window.h"

#include <QTextCharFormat>
#include <QTextCursor>
#include <QTextDocument>
#include <algorithm>

#include "app/ui/mdt_font.h"

namespace kestrel {

QtTextWindow::QtTextWindow(QPlainTextEdit* box) : box_(box) {
  flush_timer_.setSingleShot(true);
  flush_timer_.setInterval(0);
  QObject::connect(&flush_timer_, &QTimer::timeout, &flush_timer_, [this] { Flush(); });
  if (box_ == nullptr) return;
  // The undo stack would keep every appended and removed character for the window's life.
  box_->setUndoRedoEnabled(false);
  box_->clear();
}

QString QtTextWindow::Display(std::string_view bytes, bool after_cr) {
  QString shown;
  shown.reserve(qsizetype(bytes.size()));
  for (const char c : bytes) {
    if (c == '\n' && after_cr) {
      after_cr = false;  // the CR before it broke the line already
      continue;
    }
    after_cr = c == '\r';
    shown.append(c == '\r' || c == '\n' ? QChar(u'\n') : QChar(uchar(c)));
  }
  return shown;
}

std::string QtTextWindow::Text() const { return bytes_.substr(start_); }

void QtTextWindow::SetText(std::string_view text) {
  bytes_.assign(text);
  start_ = 0;
  hidden_front_lf_ = false;
  DropPending();
  if (box_ == nullptr) return;
  box_->setPlainText(Display(text, false));
  box_->moveCursor(QTextCursor::End);
}

void QtTextWindow::RemoveFront(size_t count) {
  count = std::min(count, Length());
  if (count == 0) return;
  // Every byte shows as one character except an LF that follows a CR.
  qsizetype shown = qsizetype(count);
  for (size_t i = start_; i < start_ + count; ++i) {
    if (bytes_[i] != '\n') continue;
    if (i == start_ ? hidden_front_lf_ : bytes_[i - 1] == '\r') --shown;
  }
  start_ += count;
  hidden_front_lf_ = Length() > 0 && bytes_[start_] == '\n' && bytes_[start_ - 1] == '\r';
  if (start_ > bytes_.size() / 2) {
    bytes_.erase(0, start_);
    start_ = 0;
  }
  if (box_ == nullptr) return;
  // What the box holds goes first; beyond it the removal eats into what is still to come, so the
  // pending text never outgrows the text itself.
  const qsizetype in_box = box_->document()->characterCount() - 1 - pending_removal_;
  const qsizetype from_box = std::min(shown, in_box);
  pending_removal_ += from_box;
  DropPendingFront(shown - from_box);
  flush_timer_.start();
}

void QtTextWindow::Append(std::string_view text, Colour colour) {
  const bool after_cr = EndsWithCr();
  bytes_.append(text);
  if (box_ == nullptr || text.empty()) return;
  const QString shown = Display(text, after_cr);
  if (shown.isEmpty()) return;
  pending_ += shown;
  if (!pending_runs_.empty() && pending_runs_.back().colour == colour) {
    pending_runs_.back().length += shown.size();
  } else {
    pending_runs_.push_back({shown.size(), colour});
  }
  flush_timer_.start();
}

void QtTextWindow::Flush() {
  flush_timer_.stop();
  if (box_ == nullptr || (pending_removal_ == 0 && pending_.isEmpty())) return;
  QTextCursor cursor(box_->document());
  // One edit: the box lays itself out and scrolls once.
  cursor.beginEditBlock();
  if (pending_removal_ > 0) {
    cursor.setPosition(pending_removal_, QTextCursor::KeepAnchor);
    cursor.removeSelectedText();
  }
  cursor.movePosition(QTextCursor::End);
  qsizetype at = 0;
  for (const Run& run : pending_runs_) {
    QTextCharFormat format;
    if (run.colour != kDefaultColour) format.setForeground(ToQColor(run.colour, QColor()));
    cursor.insertText(pending_.mid(at, run.length), format);
    at += run.length;
  }
  cursor.endEditBlock();
  const bool appended = !pending_.isEmpty();
  DropPending();
  if (appended) box_->setTextCursor(cursor);
}

void QtTextWindow::DropPending() {
  flush_timer_.stop();
  pending_removal_ = 0;
  pending_.clear();
  pending_runs_.clear();
}

void QtTextWindow::DropPendingFront(qsizetype count) {
  if (count <= 0) return;
  pending_.remove(0, count);
  auto run = pending_runs_.begin();
  for (; run != pending_runs_.end() && count >= run->length; ++run) count -= run->length;
  if (run != pending_runs_.end()) run->length -= count;
  pending_runs_.erase(pending_runs_.begin(), run);
}

std::string QtTextWindow::SelectedText() {
  if (box_ == nullptr) return {};
  Flush();
  const QString selected = box_->textCursor().selectedText();
  std::string bytes;
  bytes.reserve(size_t(selected.size()));
  for (const QChar c : selected) {
    if (c == QChar::ParagraphSeparator || c == QChar::LineSeparator) {
      bytes += "\r\n";
    } else {
      bytes += c.unicode() <= 0xFF ? char(c.unicode()) : '?';
    }
  }
  return bytes;
}

void QtTextWindow::MoveCaretToStart() {
  if (box_ == nullptr) return;
  Flush();
  box_->moveCursor(QTextCursor::Start);
}

}  // namespace kestrel
