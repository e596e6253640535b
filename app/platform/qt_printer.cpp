#include "app/platform/qt_printer.h"

#include <QFontMetrics>
#include <QMarginsF>
#include <QPageLayout>
#include <QPainter>
#include <QPrinter>
#include <QPrinterInfo>

namespace kestrel {

namespace {
constexpr double kMarginMillimetres = 12;
}

QtPrinter::QtPrinter(const QFont& font) : font_(font) {}

QtPrinter::QtPrinter(const QFont& font, const QString& pdf_file)
    : font_(font), pdf_file_(pdf_file) {}

QtPrinter::~QtPrinter() { EndJob(); }

bool QtPrinter::Begin() {
  if (pdf_file_.isEmpty()) {
    const QPrinterInfo chosen = printer_name_.isEmpty() ? QPrinterInfo::defaultPrinter()
                                                        : QPrinterInfo::printerInfo(printer_name_);
    if (chosen.isNull()) return false;
    printer_ = std::make_unique<QPrinter>(chosen, QPrinter::HighResolution);
  } else {
    printer_ = std::make_unique<QPrinter>(QPrinter::HighResolution);
    printer_->setOutputFormat(QPrinter::PdfFormat);
    printer_->setOutputFileName(pdf_file_);
  }
  printer_->setPageMargins(
      QMarginsF(kMarginMillimetres, kMarginMillimetres, kMarginMillimetres, kMarginMillimetres),
      QPageLayout::Millimeter);
  painter_ = std::make_unique<QPainter>();
  if (!painter_->begin(printer_.get())) {
    painter_.reset();
    printer_.reset();
    return false;
  }
  painter_->setFont(QFont(font_, printer_.get()));
  y_ = 0;
  pages_ = 1;
  return true;
}

bool QtPrinter::PrintLine(std::string_view text) {
  if (failed_) return false;
  if (painter_ == nullptr && !Begin()) {
    failed_ = true;
    return false;
  }
  const QFontMetrics metrics(painter_->font(), printer_.get());
  const QRect page = painter_->viewport();
  const auto print = [&](const QString& line) {
    if (y_ > 0 && y_ + metrics.height() > page.height()) {
      printer_->newPage();
      ++pages_;
      y_ = 0;
    }
    painter_->drawText(0, y_ + metrics.ascent(), line);
    y_ += metrics.lineSpacing();
  };

  QString line;
  int width = 0;
  const auto end_line = [&] {
    print(line);
    line.clear();
    width = 0;
  };
  for (size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '\r' || c == '\n') {
      if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
      end_line();
      continue;
    }
    const QChar shown = QChar(uchar(c));
    const int advance = metrics.horizontalAdvance(shown);
    if (!line.isEmpty() && width + advance > page.width()) end_line();
    line += shown;
    width += advance;
  }
  end_line();
  return true;
}

void QtPrinter::EndJob() {
  if (painter_ != nullptr) painter_->end();
  painter_.reset();
  printer_.reset();
  failed_ = false;
}

}  // namespace kestrel
