#pragma once

#include <cstdio>
#include <string>

#include "app/outputs/output.h"

namespace kestrel {

// "kestrel-YYYYMMDD.jsonl" for the UTC day of `time`.
std::string DailyFileName(Clock::TimePoint time);

// Appends every line to the day's file in a folder, switching files at UTC midnight. A file
// that cannot be opened or written is reported once, its lines are counted as dropped, and the
// next line tries again; the recovery is reported too.
class FileOutput : public Output {
 public:
  FileOutput(std::string folder, OutputReport report);
  ~FileOutput() override;
  FileOutput(const FileOutput&) = delete;
  FileOutput& operator=(const FileOutput&) = delete;

  void Write(const EventLine& line) override;
  void Reopen() override { Close(); }
  void Finish(std::chrono::milliseconds) override { Close(); }
  OutputStatus Status() const override { return status_; }

 private:
  void Close();
  void Fail(const std::string& what);

  std::string folder_;
  OutputReport report_;
  std::FILE* file_ = nullptr;
  std::string name_;  // the open file's name
  bool failing_ = false;
  OutputStatus status_;
};

}  // namespace kestrel
