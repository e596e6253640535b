#pragma once

#include <QCoreApplication>
#include <algorithm>
#include <string>
#include <vector>

#include "app/acquisition/serial_port_sources.h"
#include "app/platform/text_window.h"
#include "app/ui/program.h"
#include "mdcgen/signal.h"
#include "support/fake_acquisition.h"
#include "support/fake_main_view.h"
#include "support/records.h"

namespace kestrel_test {

inline void MakeApplication() {
  static int argc = 1;
  static char name[] = "serial_test";
  static char* argv[] = {name, nullptr};
  if (QCoreApplication::instance() == nullptr) new QCoreApplication(argc, argv);
}

// The program with fakes for every window and device except the serial sources under test, set
// to monitor the COM port. The port number names no device here: a test that forgot to name its
// port must not reach a real one.
struct SerialHarness {
  explicit SerialHarness(int device) {
    main.selected_terminal = "<all>";
    settings.SieveSource = kestrel::kSieveSourceCOMPort;
    settings.COMPortDevice = device;
    settings.COMPortNumber = 9999;
  }

  FakeMainView main;
  FakeMonitoringView view;
  SilentAlert alert;
  SilentSound sound;
  kestrel::PlainTextWindow mdt;
  kestrel::RecordingMessageBoxes boxes;
  kestrel::ManualClock clock;
  FakeAudioInput audio;
  NoMail mail;
  FakeFeedNetwork network;
  kestrel::SerialPortSources serial;
  kestrel::Program program{
      {main, view, alert, sound, mdt, boxes, clock, audio, network, serial, mail, nullptr}};
  kestrel::Settings& settings = program.settings;
  kestrel::Acquisition& acquisition = program.acquisition;
  kestrel::Monitoring& monitoring = program.monitoring;

  int PanelCount(const std::string& text) const {
    return int(std::count(view.panel_history.begin(), view.panel_history.end(), text));
  }
};

inline constexpr char kUnableToDecode[] =
    "Unable to decode data, check data source option settings.";

// The decoder delivers each frame padded with zeros and trims the output's trailing zeros after
// every frame, so for records that end in a non-zero byte the outputs of any number of calls,
// joined, are the records joined.
inline std::string Joined(const std::vector<std::string>& pieces) {
  std::string all;
  for (const std::string& piece : pieces) all += piece;
  return all;
}

// Records as one transmission each, `lead` seconds of rest before the first, pauses between them
// and rest at the end.
inline mdcgen::Timeline Transmissions(const std::vector<std::string>& records, double lead = 0.3) {
  std::vector<mdcgen::Transmission> transmissions;
  for (const std::string& record : records) {
    transmissions.push_back(
        {mdcgen::Bytes(record.begin(), record.end()), transmissions.empty() ? lead : 0.3});
  }
  return mdcgen::ComposeTimeline(transmissions, 0.5);
}

inline std::vector<std::string> SampleRecords() {
  return {Record(0x1234, true, "FIRST MESSAGE FOR UNIT 1234"),
          Record(0x0042, true, "SECOND MESSAGE, FOR 0042"),
          Record(0x0777, false, "A CONTINUATION WITHOUT ITS HEADER")};
}

}  // namespace kestrel_test
