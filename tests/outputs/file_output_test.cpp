#include "app/outputs/file_output.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>

#include "support/run_program.h"
#include "support/scratch_directory.h"

namespace kestrel {
namespace {

using namespace std::chrono_literals;
using kestrel_test::ReadText;

// 2026-12-08 23:59:59.999 UTC.
const Clock::TimePoint kDayEnd{1796774399999ms};

class FileOutputTest : public ::testing::Test {
 protected:
  void Write(FileOutput& output, Clock::TimePoint time, std::string_view json) {
    output.Write({"record", time, json});
  }
  kestrel_test::ScratchDirectory scratch_;
  std::vector<std::string> reports_;
  OutputReport report_ = [this](std::string_view line) { reports_.emplace_back(line); };
};

TEST_F(FileOutputTest, DailyFileNameFollowsTheUtcDay) {
  EXPECT_EQ(DailyFileName(kDayEnd), "kestrel-20261208.jsonl");
  EXPECT_EQ(DailyFileName(kDayEnd + 1ms), "kestrel-20261209.jsonl");
}

TEST_F(FileOutputTest, SwitchesFilesAtMidnightAndAppends) {
  const std::string folder = scratch_.path().string();
  {
    FileOutput output(folder, report_);
    Write(output, kDayEnd, "{\"a\":1}\n");
    Write(output, kDayEnd + 1ms, "{\"b\":2}\n");
  }
  FileOutput again(folder, report_);
  Write(again, kDayEnd, "{\"c\":3}\n");
  EXPECT_EQ(ReadText(folder + "/kestrel-20261208.jsonl"), "{\"a\":1}\n{\"c\":3}\n");
  EXPECT_EQ(ReadText(folder + "/kestrel-20261209.jsonl"), "{\"b\":2}\n");
  EXPECT_EQ(again.Status().written, 1u);
  EXPECT_TRUE(reports_.empty());
}

TEST_F(FileOutputTest, ReopenFollowsARenamedFile) {
  const std::string folder = scratch_.path().string();
  FileOutput output(folder, report_);
  Write(output, kDayEnd, "1\n");
  const std::string path = folder + "/kestrel-20261208.jsonl";
  std::filesystem::rename(path, path + ".1");
  Write(output, kDayEnd, "2\n");  // still the open file, now renamed
  output.Reopen();
  Write(output, kDayEnd, "3\n");
  EXPECT_EQ(ReadText(path + ".1"), "1\n2\n");
  EXPECT_EQ(ReadText(path), "3\n");
}

TEST_F(FileOutputTest, AFailureIsReportedOnceCountedAndRecovered) {
  const std::string folder = scratch_.Path("missing");
  FileOutput output(folder, report_);
  Write(output, kDayEnd, "1\n");
  Write(output, kDayEnd, "2\n");
  ASSERT_EQ(reports_.size(), 1u);
  EXPECT_NE(reports_[0].find("cannot open"), std::string::npos);
  EXPECT_EQ(output.Status().dropped, 2u);
  EXPECT_EQ(output.Status().failures, 1u);
  EXPECT_EQ(output.Status().state.rfind("failing", 0), 0u);
  std::filesystem::create_directory(folder);
  Write(output, kDayEnd, "3\n");
  EXPECT_EQ(ReadText(folder + "/kestrel-20261208.jsonl"), "3\n");
  EXPECT_EQ(reports_.size(), 2u);
  EXPECT_EQ(output.Status().written, 1u);
}

}  // namespace
}  // namespace kestrel
