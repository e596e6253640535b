#pragma once

#include <QPainter>
#include <QPdfWriter>
#include <memory>
#include <string_view>

#include "app/display/capture.h"

namespace kestrel_replay {

// Printouts into a PDF file: each printed line in a fixed-pitch font, new pages as they fill.
// Needs a QGuiApplication.
class PdfPrinter : public kestrel::Printer {
 public:
  explicit PdfPrinter(const QString& path);
  ~PdfPrinter() override;

  bool PrintLine(std::string_view text) override;
  void EndJob() override;
  int pages() const { return pages_; }

 private:
  bool Begin();

  QString path_;
  std::unique_ptr<QPdfWriter> writer_;
  std::unique_ptr<QPainter> painter_;
  int y_ = 0;
  int pages_ = 0;
};

}  // namespace kestrel_replay
