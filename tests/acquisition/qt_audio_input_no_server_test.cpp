#include <gtest/gtest.h>

#include <QCoreApplication>
#include <memory>

#include "app/acquisition/qt_audio_input.h"
#include "support/pulse_server.h"

namespace kestrel {
namespace {

// Its own program: a Qt Multimedia client looks for the server once per process.
TEST(QtAudioInputWithoutServerTest, OpenAnswersNoDriver) {
  const kestrel_test::PulseEnvironment environment(kestrel_test::PulseEnvironment::Socket::kDead);
  ASSERT_EQ(environment.problem(), "");
  environment.ApplyToThisProcess();
  int argc = 1;
  char name[] = "qt_audio_input_no_server_test";
  char* argv[] = {name, nullptr};
  const QCoreApplication application(argc, argv);

  EXPECT_TRUE(QtAudioInput::Devices().empty());
  auto buffers = std::make_unique<AudioBuffers>();
  for (const char* id : {"", "fifomic"}) {
    QtAudioInput input(id);
    const AudioOpenResult result = input.Open(44100, *buffers);
    EXPECT_EQ(result.error, AudioOpenError::kNoDriver) << "device \"" << id << "\"";
    EXPECT_EQ(input.Note(), "");
    EXPECT_TRUE(input.Close());
  }
  EXPECT_EQ(buffers->Completed(), 0);
}

}  // namespace
}  // namespace kestrel
