#pragma once

#include <QPlainTextEdit>
#include <QPointer>
#include <QString>
#include <QTimer>
#include <string>
#include <string_view>
#include <vector>

#include "app/platform/text_window.h"

namespace kestrel {

// A TextWindow shown in a QPlainTextEdit that it does not own (the box may go first; the text is
// then only kept). Bytes reach the box as Latin-1. Text(), Length() and RemoveFront() work on an
// exact copy of the bytes, so a cap counts CR LF as two; the box shows CR LF, a lone CR and a lone
// LF each as one line break.
//
// Appends and removals reach the box together at the next turn of the event loop (or at Flush),
// so a burst of records costs one update of the box rather than one per record; each call costs
// only what it appends or removes. SetText shows at once. Takes the box over: empties it and
// switches its undo off. User-interface thread only.
class QtTextWindow : public TextWindow {
 public:
  explicit QtTextWindow(QPlainTextEdit* box);

  std::string Text() const override;
  size_t Length() const override { return bytes_.size() - start_; }
  // The insertion point goes to the end.
  void SetText(std::string_view text) override;
  void RemoveFront(size_t count) override;
  // In `colour` when it is not kDefaultColour; the insertion point goes to the end.
  void Append(std::string_view text, Colour colour) override;

  // Brings the box up to date now.
  void Flush();
  // The box's selection as bytes, its line breaks as CR LF; characters beyond Latin-1 become "?".
  std::string SelectedText();
  // The insertion point to the start of the text.
  void MoveCaretToStart();

  QPlainTextEdit* Box() const { return box_; }

 private:
  struct Run {
    qsizetype length;
    Colour colour;
  };

  // What the box shows for `bytes` when the byte before them is (or is not) a CR.
  static QString Display(std::string_view bytes, bool after_cr);
  bool EndsWithCr() const { return Length() > 0 && bytes_.back() == '\r'; }
  void DropPending();
  void DropPendingFront(qsizetype count);

  QPointer<QPlainTextEdit> box_;
  // The text is bytes_ from start_ on; the front is dropped lazily so removing stays cheap.
  std::string bytes_;
  size_t start_ = 0;
  // The text starts with the LF of a CR LF whose CR was removed: the box shows nothing for it.
  bool hidden_front_lf_ = false;

  // Not in the box yet: characters to take off its front, then text to add in colour runs.
  qsizetype pending_removal_ = 0;
  QString pending_;
  std::vector<Run> pending_runs_;
  QTimer flush_timer_;
};

}  // namespace kestrel
