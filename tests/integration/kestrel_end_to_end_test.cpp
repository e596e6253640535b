// The real kestrel program, monitoring a recording as the sound card would deliver it: the log
// file its rule writes must be exactly what kestrel-replay writes for the same recording and
// profile, and SIGTERM must end it through the exit sequence.
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "app/acquisition/audio_file.h"
#include "support/child_process.h"
#include "support/pty_pair.h"
#include "support/pulse_server.h"
#include "support/run_program.h"
#include "support/scratch_directory.h"

extern char** environ;

namespace {

using namespace std::chrono_literals;
using kestrel_test::Child;
using kestrel_test::Environment;
using kestrel_test::ReadText;
using kestrel_test::WaitFor;

class KestrelEndToEndTest : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(scratch_.path().empty());
    recording_ = scratch_.Path("traffic.wav");
    log_ = scratch_.Path("everything.log");
    profile_ = scratch_.Path("monitor.ini");
    const kestrel_test::RunResult made = kestrel_test::RunProgram(
        MDCGEN_PATH, {"--demo", "25", "--seed", "4811", "--snr", "18", "-o", recording_},
        scratch_.path().string());
    ASSERT_EQ(made.status, 0) << made.err;
  }

  // A profile that monitors the sound card (the device named, when given) and logs every
  // message to the log file.
  void WriteProfile(const std::string& device) {
    std::ofstream(profile_, std::ios::binary)
        << "[Settings]\r\nVersion=1.6.1\r\nAutoSave=False\r\nMonitoring=True\r\nSieveSource=1\r\n"
        << "SamplingRate=44100\r\nAudioInputDevice=" << device << "\r\n";
    std::ofstream(scratch_.Path("monitorRules.ini"), std::ios::binary)
        << "[Rules]\r\nRules=1\r\nName1=Everything\r\nActive1=True\r\nMessageBody1=*\r\n"
        << "LogFile1=True\r\nLogFilename1=" << log_ << "\r\n";
  }

  // What kestrel-replay logs for the recording with the same profile.
  std::string ExpectedLog() {
    const kestrel_test::RunResult replay = kestrel_test::RunProgram(
        KESTREL_REPLAY_PATH, {"--profile", profile_, recording_}, scratch_.path().string());
    EXPECT_EQ(replay.status, 0) << replay.err;
    std::string expected = ReadText(log_);
    std::filesystem::remove(log_);
    return expected;
  }

  kestrel_test::ScratchDirectory scratch_{"kestrel_e2e"};
  std::string recording_, log_, profile_;
};

TEST_F(KestrelEndToEndTest, APlayedRecordingLogsWhatTheReplayLogs) {
  WriteProfile("");
  const std::string expected = ExpectedLog();
  ASSERT_GT(expected.size(), 200u);

  Child kestrel(KESTREL_PATH, {"--play", recording_, profile_},
                Environment(scratch_.Path("config")), scratch_.path().string());
  ASSERT_TRUE(kestrel.started());
  // The recording plays at real speed; everything it holds is logged by its end.
  const bool complete = WaitFor(60s, [&] { return ReadText(log_) == expected; });
  ASSERT_TRUE(kestrel.Running()) << kestrel.Errors();
  EXPECT_EQ(kestrel.Terminate(20s), 0) << kestrel.Errors();
  EXPECT_TRUE(complete) << "logged:\n" << ReadText(log_) << "\nexpected:\n" << expected;
  // The profile's own choices survive the run: nothing was saved over them.
  EXPECT_NE(ReadText(profile_).find("Monitoring=True"), std::string::npos);
}

TEST_F(KestrelEndToEndTest, TheSoundServersInputLogsWhatTheReplayLogs) {
  if (const std::string why = kestrel_test::PulseServer::MissingReason(); !why.empty())
    GTEST_SKIP() << why;
  kestrel_test::PulseServer server;
  ASSERT_EQ(server.problem(), "") << server.Log();
  const std::string fifo = server.LoadPipeSource("receiver", 44100);
  ASSERT_FALSE(fifo.empty()) << server.Log();
  WriteProfile("receiver");
  const std::string expected = ExpectedLog();
  ASSERT_GT(expected.size(), 200u);

  // The receiver's audio: silence while the stream starts (the sound system delivers nothing for
  // about a second), the recording, and silence that completes the last buffer.
  kestrel::AudioFile file;
  std::string error;
  ASSERT_TRUE(file.Open(recording_, error)) << error;
  std::vector<uint8_t> audio(2 * 44100, 128);
  std::vector<uint8_t> block(65536);
  for (int64_t n; (n = file.Read(block, error)) > 0;)
    audio.insert(audio.end(), block.begin(), block.begin() + n);
  audio.insert(audio.end(), 44100, 128);

  Child kestrel(KESTREL_PATH, {profile_},
                Environment(scratch_.Path("config"), server.ChildEnvironment()),
                scratch_.path().string());
  ASSERT_TRUE(kestrel.started());
  ASSERT_TRUE(WaitFor(
      20s,
      [&] {
        std::string streams;
        return server.Pactl({"list", "short", "source-outputs"}, &streams) && !streams.empty();
      }))
      << "kestrel never started recording: " << kestrel.Errors();
  ASSERT_TRUE(kestrel_test::PulseServer::WriteToPipe(fifo, audio, 44100, 90s));
  const bool complete = WaitFor(20s, [&] { return ReadText(log_) == expected; });
  ASSERT_TRUE(kestrel.Running()) << kestrel.Errors();
  EXPECT_EQ(kestrel.Terminate(20s), 0) << kestrel.Errors();
  EXPECT_TRUE(complete) << "logged:\n" << ReadText(log_) << "\nexpected:\n" << expected;
}

TEST_F(KestrelEndToEndTest, AnRM100OnASerialDeviceLogsWhatTheReplayLogs) {
  if (const std::string why = kestrel_test::PtyPair::MissingReason(); !why.empty())
    GTEST_SKIP() << why;
  kestrel_test::PtyPair pty;
  ASSERT_EQ(pty.problem(), "");
  // Receiver noise between the messages, so the decoder has found its threshold when they come.
  const std::string messages =
      scratch_.Write("messages.txt",
                     "1207 DISPATCH #31 STRUCTURE FIRE AT 400 MAIN ST\\rENGINE 9 RESPOND\n"
                     "2158 STATUS ENRT #24-031877\n"
                     "4416 QUERY PLATE ABC123 NO WANTS\\rREG: 2019 SEDAN BLUE\n");
  const std::string stream = scratch_.Path("receiver.rm100");
  const kestrel_test::RunResult made = kestrel_test::RunProgram(
      MDCGEN_PATH, {"--messages", messages, "--gap", "1.5", "--snr", "10", "-o", stream},
      scratch_.path().string());
  ASSERT_EQ(made.status, 0) << made.err;
  std::ofstream(profile_, std::ios::binary)
      << "[Settings]\r\nVersion=1.6.1\r\nAutoSave=False\r\nMonitoring=True\r\nSieveSource=3\r\n"
      << "COMPortDevice=2\r\nCOMPortName=" << pty.near_end() << "\r\n";
  std::ofstream(scratch_.Path("monitorRules.ini"), std::ios::binary)
      << "[Rules]\r\nRules=1\r\nName1=Everything\r\nActive1=True\r\nMessageBody1=*\r\n"
      << "LogFile1=True\r\nLogFilename1=" << log_ << "\r\n";
  const kestrel_test::RunResult replay = kestrel_test::RunProgram(
      KESTREL_REPLAY_PATH, {"--rm100", "--profile", profile_, stream}, scratch_.path().string());
  ASSERT_EQ(replay.status, 0) << replay.err;
  const std::string expected = ReadText(log_);
  std::filesystem::remove(log_);
  ASSERT_NE(expected.find("QUERY PLATE"), std::string::npos) << expected;

  Child kestrel(KESTREL_PATH, {profile_}, Environment(scratch_.Path("config")),
                scratch_.path().string());
  ASSERT_TRUE(kestrel.started());
  std::this_thread::sleep_for(2s);  // the port opens with monitoring at start-up
  // The interface's own rate: 19200 samples a second, eight a byte.
  const std::string bytes = ReadText(stream);
  const auto start = std::chrono::steady_clock::now();
  for (size_t sent = 0; sent < bytes.size();) {
    const size_t due = std::min(
        bytes.size(),
        size_t(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count() *
               2400) +
            240);
    if (due > sent)
      sent += pty.WriteSome(
          std::span(reinterpret_cast<const uint8_t*>(bytes.data()) + sent, due - sent));
    std::this_thread::sleep_for(20ms);
  }
  const bool complete = WaitFor(20s, [&] { return ReadText(log_) == expected; });
  ASSERT_TRUE(kestrel.Running()) << kestrel.Errors();
  EXPECT_EQ(kestrel.Terminate(20s), 0) << kestrel.Errors();
  EXPECT_TRUE(complete) << "logged:\n" << ReadText(log_) << "\nexpected:\n" << expected;
}

TEST_F(KestrelEndToEndTest, AMissingRecordingIsReportedAndNothingIsLogged) {
  WriteProfile("");
  Child kestrel(KESTREL_PATH, {"--play", scratch_.Path("nothing.wav"), profile_},
                Environment(scratch_.Path("config")), scratch_.path().string());
  ASSERT_TRUE(kestrel.started());
  // The message box would wait for the user; the program stays up until told to end.
  std::this_thread::sleep_for(1s);
  EXPECT_EQ(kestrel.Terminate(20s), 0) << kestrel.Errors();
  EXPECT_FALSE(std::filesystem::exists(log_));
}

}  // namespace
