#include "app/display/capture.h"

#include <cerrno>
#include <chrono>
#include <cstring>
#include <ctime>
#include <string>

#include "app/display/mdt_text.h"
#include "app/traffic/record.h"

namespace kestrel {
namespace {

constexpr std::chrono::minutes kReopenInterval{1};

void ShowFailure(MessageBoxes& boxes, int number, std::string_view description) {
  boxes.Show("Unable to write to capture file.\r\n\r\n" + std::to_string(number) + ": " +
                 std::string(description),
             "Error Capturing Data", MessageBoxes::Icon::kExclamation, MessageBoxes::Buttons::kOk);
}

int LastError() { return errno != 0 ? errno : EIO; }

}  // namespace

std::string CaptureBlock(const Settings& settings, std::string_view address, std::string_view alias,
                         std::string_view record) {
  std::string block = "Terminal: ";
  block += address;
  if (!alias.empty()) {
    block += " (";
    block += alias;
    block += ")";
  }
  block += "\r\n\r\n";
  block += WrapLines(FormatData(RecordBody(record)), settings.MDTColumns);
  block += "\r\n\r\n";
  block += SeparatorLine(settings);
  block += "\r\n";
  return block;
}

std::string ProposedCaptureFileName(Clock::TimePoint now) {
  const std::tm local = LocalTime(now);
  char name[32];
  std::snprintf(name, sizeof name, "%04d%02d%02d", local.tm_year + 1900, local.tm_mon + 1,
                local.tm_mday);
  return name;
}

CaptureWriter::~CaptureWriter() {
  if (file_ != nullptr) std::fclose(file_);
}

bool CaptureWriter::StartToFile(const std::string& path) {
  if (file_ != nullptr) std::fclose(file_);
  path_ = path;
  last_reopen_.reset();
  file_ = std::fopen(path.c_str(), "ab");
  to_file_ = file_ != nullptr;
  return to_file_;
}

void CaptureWriter::StartToPrinter(Printer& printer) {
  printer_ = &printer;
  printer_failed_ = false;
}

void CaptureWriter::Stop() {
  if (printer_ != nullptr) printer_->EndJob();
  if (file_ != nullptr) std::fclose(file_);
  file_ = nullptr;
  to_file_ = false;
  printer_ = nullptr;
  printer_failed_ = false;
  last_reopen_.reset();
}

void CaptureWriter::Write(const std::string& address, const std::string& alias,
                          const std::string& record) {
  if (!On()) return;
  const std::string block = CaptureBlock(settings_, address, alias, record);

  // After a failure the file stays closed: later records are dropped without a word until Stop.
  if (to_file_ && file_ != nullptr) {
    const std::string line = block + "\r\n";
    errno = 0;
    // Flushed per record, so a full disk is reported at the record it hit.
    if (std::fwrite(line.data(), 1, line.size(), file_) != line.size() || std::fflush(file_) != 0) {
      const int number = LastError();
      Fail(number, std::strerror(number));
    }
  }

  if (printer_ != nullptr && !printer_failed_ && !printer_->PrintLine(block)) {
    printer_failed_ = true;
    // The file goes on: a broken printer is no reason to lose the file's records too.
    ShowFailure(boxes_, EIO, std::strerror(EIO));
    if (on_failure_) on_failure_();
  }

  if (!to_file_ || file_ == nullptr) return;
  const Clock::TimePoint now = clock_.Now();
  // A clock set back starts the minute afresh rather than postponing the reopening.
  if (!last_reopen_ || now < *last_reopen_) {
    last_reopen_ = now;
    return;
  }
  if (now - *last_reopen_ < kReopenInterval) return;
  std::fclose(file_);
  errno = 0;
  file_ = std::fopen(path_.c_str(), "ab");
  last_reopen_ = now;
  if (file_ == nullptr) {
    const int number = LastError();
    Fail(number, std::strerror(number));
  }
}

void CaptureWriter::Fail(int number, std::string_view description) {
  if (file_ != nullptr) std::fclose(file_);
  file_ = nullptr;
  ShowFailure(boxes_, number, description);
  if (on_failure_) on_failure_();
}

}  // namespace kestrel
