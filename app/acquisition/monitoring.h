#pragma once

#include <string>
#include <string_view>

#include "app/acquisition/acquisition.h"
#include "app/rules/rule_processing.h"

namespace kestrel {

struct MonitoringServices {
  Settings& settings;
  MessageBoxes& boxes;
  MonitoringView& view;
  Acquisition& acquisition;
  AudioInput& audio;
  SerialSources& serial;
  FeedNetwork& network;
  RuleProcessing& rules;
  ErrorReporter& errors;
};

// Starts and stops the selected data source and keeps the window in step: the polling timer,
// the toolbar, the menu check marks, the status bar and the Monitoring setting.
class Monitoring {
 public:
  explicit Monitoring(const MonitoringServices& services) : s_(services) {}

  void StartMonitoring();
  // `status` replaces "Not monitoring" in panel 1 (the network source's reason for stopping).
  void StopMonitoring(std::string_view status = {});
  // The 250 ms poll of the sound card or COM port. A recording that has been played to its end
  // stops monitoring with "Recording finished" in panel 1.
  void Timer_Timer();
  // The status timer's part: while monitoring, panel 1 says so, with "/Capturing" when capture is
  // on, replacing any passing message of the polls.
  void RefreshStatus(bool capturing);
  // The "network" button: enabled with the client count as its tool tip when clients are there.
  void ApplyNetworkButton();
  // Panel 1's text while monitoring.
  std::string MonitoringText(bool capturing) const;

 private:
  void StartSoundCard();
  void StartNetwork();
  void StartCOMPort();
  bool StopSoundCard();
  bool StopCOMPort();
  void StopNetwork(std::string_view status);
  void ShowStopped(std::string_view status);
  void StopFeedServer();
  void StartFeedServer();
  void FinishRecording();

  MonitoringServices s_;
};

}  // namespace kestrel
