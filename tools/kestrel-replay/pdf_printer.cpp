#include "pdf_printer.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QFont>
#include <QFontMetrics>
#include <QPageSize>
#include <cerrno>
#include <cstring>

namespace kestrel_replay {

std::string CheckPrintTarget(const std::string& path) {
  struct stat status;
  const bool exists = ::stat(path.c_str(), &status) == 0;
  if (exists && S_ISDIR(status.st_mode)) return path + ": is a directory";
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_NONBLOCK | O_CLOEXEC, 0666);
  if (fd < 0) return path + ": cannot be written: " + std::strerror(errno);
  ::close(fd);
  if (!exists) ::unlink(path.c_str());
  return "";
}

PdfPrinter::PdfPrinter(const QString& path) : path_(path) {}

PdfPrinter::~PdfPrinter() { EndJob(); }

bool PdfPrinter::Begin() {
  // One failure is enough: each retry would only repeat Qt's complaint.
  if (failed_) return false;
  writer_ = std::make_unique<QPdfWriter>(path_);
  writer_->setPageSize(QPageSize(QPageSize::A4));
  writer_->setResolution(300);
  writer_->setPageMargins(QMarginsF(15, 15, 15, 15), QPageLayout::Millimeter);
  painter_ = std::make_unique<QPainter>();
  if (!painter_->begin(writer_.get())) {
    painter_.reset();
    writer_.reset();
    failed_ = true;
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
