#include "app/outputs/file_output.h"

#include <cerrno>
#include <cstring>
#include <ctime>

namespace kestrel {

std::string DailyFileName(Clock::TimePoint time) {
  const std::time_t t = std::chrono::system_clock::to_time_t(time);
  std::tm utc{};
  gmtime_r(&t, &utc);
  char name[40];
  std::snprintf(name, sizeof name, "kestrel-%04d%02d%02d.jsonl", utc.tm_year + 1900, utc.tm_mon + 1,
                utc.tm_mday);
  return name;
}

FileOutput::FileOutput(std::string folder, OutputReport report)
    : folder_(std::move(folder)), report_(std::move(report)) {
  status_.name = "File";
  status_.state = "waiting for the first event";
}

FileOutput::~FileOutput() { Close(); }

void FileOutput::Close() {
  if (file_ != nullptr) std::fclose(file_);
  file_ = nullptr;
}

void FileOutput::Fail(const std::string& what) {
  Close();
  ++status_.dropped;
  status_.state = "failing: " + what;
  if (failing_) return;
  failing_ = true;
  ++status_.failures;
  report_("File output: " + what + "; retrying with the next event");
}

void FileOutput::Write(const EventLine& line) {
  const std::string name = DailyFileName(line.time);
  if (file_ != nullptr && name != name_) Close();
  const std::string path = folder_ + "/" + name;
  if (file_ == nullptr) {
    file_ = std::fopen(path.c_str(), "ab");
    if (file_ == nullptr) return Fail("cannot open " + path + ": " + std::strerror(errno));
    name_ = name;
  }
  // Flushed per line, so readers (tail -f, log shippers) see whole lines at once.
  if (std::fwrite(line.json.data(), 1, line.json.size(), file_) != line.json.size() ||
      std::fflush(file_) != 0) {
    return Fail("cannot write " + path + ": " + std::strerror(errno));
  }
  ++status_.written;
  status_.state = "writing " + name;
  if (failing_) {
    failing_ = false;
    report_("File output: writing " + path + " again");
  }
}

}  // namespace kestrel
