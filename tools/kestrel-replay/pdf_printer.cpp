#include "pdf_printer.h"

#include <QFont>
#include <QFontMetrics>
#include <QPageSize>

namespace kestrel_replay {

PdfPrinter::PdfPrinter(const QString& path) : path_(path) {}

PdfPrinter::~PdfPrinter() { EndJob(); }

bool PdfPrinter::Begin() {
  writer_ = std::make_unique<QPdfWriter>(path_);
  writer_->setPageSize(QPageSize(QPageSize::A4));
  writer_->setResolution(300);
  writer_->setPageMargins(QMarginsF(15, 15, 15, 15), QPageLayout::Millimeter);
  painter_ = std::make_unique<QPainter>();
  if (!painter_->begin(writer_.get())) {
    painter_.reset();
    writer_.reset();
    return false;
  }
  painter_->setFont(QFont("Monospace", 9));
  y_ = 0;
  pages_ = 1;
  return true;
}

bool PdfPrinter::PrintLine(std::string_view text) {
  if (!painter_ && !Begin()) return false;
  const QFontMetrics metrics(painter_->font(), writer_.get());
  const int height = painter_->viewport().height();
  // The captured text is bytes; it is shown as Latin-1, as the screen shows it.
  const QStringList lines = QString::fromLatin1(text.data(), qsizetype(text.size()))
                                .remove(QLatin1Char('\r'))
                                .split(QLatin1Char('\n'));
  for (const QString& line : lines) {
    if (y_ + metrics.height() > height) {
      writer_->newPage();
      ++pages_;
      y_ = 0;
    }
    painter_->drawText(0, y_ + metrics.ascent(), line);
    y_ += metrics.lineSpacing();
  }
  return true;
}

void PdfPrinter::EndJob() {
  if (painter_) painter_->end();
  painter_.reset();
  writer_.reset();
}

}  // namespace kestrel_replay
