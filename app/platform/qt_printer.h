#pragma once

#include <QFont>
#include <QString>
#include <memory>
#include <string_view>

#include "app/display/capture.h"

class QPainter;
class QPrinter;

namespace kestrel {

// Printouts on the default printer, or into a PDF file (for tests and print-to-file). The job
// starts with the first line and ends with EndJob or destruction; each PrintLine prints its text
// (bytes, Latin-1) and ends the line, a CR LF, lone CR or LF inside it starting a new line. Lines
// wider than the page go on in the next line rather than being cut; pages break as they fill.
// Needs a QGuiApplication.
class QtPrinter : public Printer {
 public:
  // The default printer, or the one SetPrinterName chose.
  explicit QtPrinter(const QFont& font);
  // A PDF file, replaced by each new job.
  QtPrinter(const QFont& font, const QString& pdf_file);
  ~QtPrinter() override;
  QtPrinter(const QtPrinter&) = delete;
  QtPrinter& operator=(const QtPrinter&) = delete;

  // False when the printer cannot start the job (no printer, unwritable file): the rest of the job
  // is then dropped without another try until EndJob.
  bool PrintLine(std::string_view text) override;
  void EndJob() override;

  // Used from the next job on.
  void SetFont(const QFont& font) { font_ = font; }
  // The printer of a printer-set-up choice, from the next job on; "" for the default printer.
  // A PDF printer keeps its file.
  void SetPrinterName(const QString& name) { printer_name_ = name; }
  bool JobOpen() const { return painter_ != nullptr; }
  // Pages of the open or last job.
  int Pages() const { return pages_; }

 private:
  bool Begin();

  QFont font_;
  QString pdf_file_;  // empty: a printer
  QString printer_name_;
  std::unique_ptr<QPrinter> printer_;
  std::unique_ptr<QPainter> painter_;
  bool failed_ = false;
  int y_ = 0;
  int pages_ = 0;
};

}  // namespace kestrel
