#pragma once

#include <QPainter>
#include <QPdfWriter>
#include <memory>
#include <string>
#include <string_view>

#include "app/display/capture.h"

namespace kestrel_replay {

// "" when a printout can be written to `path`, else one line naming it and the reason ("is a
// directory", "no such file or directory", ...). Leaves no file behind that was not there.
std::string CheckPrintTarget(const std::string& path);

// Printouts into a PDF file: each printed line in a fixed-pitch font, new pages as they fill.
// The file is made with the first line printed. Needs a QGuiApplication.
class PdfPrinter : public kestrel::Printer {
 public:
  explicit PdfPrinter(const QString& path);
  ~PdfPrinter() override;

  bool PrintLine(std::string_view text) override;
  void EndJob() override;
  int pages() const { return pages_; }
  // The file could not be begun; later lines are dropped rather than retried.
  bool failed() const { return failed_; }

 private:
  bool Begin();

  QString path_;
  std::unique_ptr<QPdfWriter> writer_;
  std::unique_ptr<QPainter> painter_;
  int y_ = 0;
  int pages_ = 0;
  bool failed_ = false;
};

}  // namespace kestrel_replay
