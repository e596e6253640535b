#pragma once

#include <cstdio>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "app/platform/clock.h"
#include "app/platform/message_box.h"
#include "app/profile/settings.h"

namespace kestrel {

// The printer as capture and rule printouts use it: one print job, line by line, until ended.
class Printer {
 public:
  virtual ~Printer() = default;
  // Prints one line (which may hold line breaks); false when the printer failed.
  virtual bool PrintLine(std::string_view text) = 0;
  // Ends the job, so the page goes out.
  virtual void EndJob() = 0;
};

// The text captured for one record: header, formatted and wrapped body, separator.
std::string CaptureBlock(const Settings& settings, std::string_view address, std::string_view alias,
                         std::string_view record);
// The file name capture proposes for a day: yyyymmdd.
std::string ProposedCaptureFileName(Clock::TimePoint now);

// Writes every stored record to a capture file and/or the printer while capture is on. The file
// stays open and is reopened at least once a minute, so records reach the disk while traffic
// flows. A write failure is reported once and closes the file; capture stays on (and silent)
// until stopped.
class CaptureWriter {
 public:
  CaptureWriter(const Settings& settings, const Clock& clock, MessageBoxes& boxes)
      : settings_(settings), clock_(clock), boxes_(boxes) {}
  ~CaptureWriter();
  CaptureWriter(const CaptureWriter&) = delete;
  CaptureWriter& operator=(const CaptureWriter&) = delete;

  // Opens `path` for appending (created when missing). False, and capture to file off, when it
  // cannot be opened.
  bool StartToFile(const std::string& path);
  void StartToPrinter(Printer& printer);
  // Ends the print job, closes the file and switches both off.
  void Stop();

  bool On() const { return to_file_ || printer_ != nullptr; }
  bool ToFile() const { return to_file_; }
  bool ToPrinter() const { return printer_ != nullptr; }
  // Called after a write failure has been reported (the window clears its menu check mark).
  void SetFailureHandler(std::function<void()> handler) { on_failure_ = std::move(handler); }

  void Write(const std::string& address, const std::string& alias, const std::string& record);

 private:
  void Fail(int number, std::string_view description);

  const Settings& settings_;
  const Clock& clock_;
  MessageBoxes& boxes_;
  std::function<void()> on_failure_;
  bool to_file_ = false;
  std::string path_;
  std::FILE* file_ = nullptr;
  std::optional<Clock::TimePoint> last_reopen_;
  Printer* printer_ = nullptr;
  bool printer_failed_ = false;  // reported once; silent until Stop
};

}  // namespace kestrel
