#include "app/acquisition/monitoring.h"

#include <exception>

namespace kestrel {
namespace {

using Icon = MessageBoxes::Icon;
using Buttons = MessageBoxes::Buttons;

constexpr std::string_view kMonitoring = "Monitoring";
constexpr std::string_view kNotMonitoring = "Not monitoring";

// Runs a procedure under the common error report.
template <typename Body>
void Guarded(ErrorReporter& errors, std::string_view procedure, Body body) {
  try {
    body();
  } catch (const std::exception& e) {
    errors.ReportError(procedure, 0, e.what());
  }
}

}  // namespace

std::string Monitoring::MonitoringText(bool capturing) const {
  std::string text(capturing ? "Monitoring/Capturing" : kMonitoring);
  if (s_.settings.SieveSource == kSieveSourceSoundCard && s_.acquisition.DeviceOpen()) {
    const std::string note = s_.audio.Note();
    if (!note.empty()) text += " (" + note + ")";
  }
  return text;
}

void Monitoring::ApplyNetworkButton() {
  const int clients = s_.network.ClientCount();
  s_.view.SetNetworkButton(clients > 0, std::to_string(clients) + " clients connected");
}

void Monitoring::StartFeedServer() {
  if (s_.settings.Listen) s_.network.StartListening();
}

void Monitoring::StopFeedServer() {
  s_.network.SendToClients("SERVER NOT MONITORING");
  s_.settings.Monitoring = false;
  if (s_.settings.Listen) s_.network.StopListening();
}

void Monitoring::StartMonitoring() {
  Guarded(s_.errors, "StartMonitoring", [this] {
    switch (s_.settings.SieveSource) {
      case kSieveSourceSoundCard:
        return StartSoundCard();
      case kSieveSourceNetwork:
        return StartNetwork();
      case kSieveSourceCOMPort:
        return StartCOMPort();
      default:
        return;
    }
  });
}

void Monitoring::StartSoundCard() {
  if (!s_.acquisition.OpenAudioDevice()) {
    s_.settings.Monitoring = false;
    return;
  }
  s_.view.SetAcquisitionTimer(true);
  s_.view.SetPlayEnabled(false);
  s_.view.SetStopEnabled(true);
  s_.view.SetStatusPanel(1, MonitoringText(false));
  s_.view.SetMonitorChecked(true);
  s_.view.SetAnalyzeSignalEnabled(true);
  s_.view.SetReversePolarityEnabled(true);
  ApplyNetworkButton();
  s_.settings.Monitoring = true;
  StartFeedServer();
}

void Monitoring::StartNetwork() {
  if (!s_.network.ConnectToServer()) {
    s_.settings.Monitoring = false;
    return;
  }
  s_.view.SetNetTimer(true);
  s_.view.SetPlayEnabled(false);
  s_.view.SetStopEnabled(true);
  s_.view.SetMonitorChecked(true);
  s_.settings.Monitoring = true;
}

void Monitoring::StartCOMPort() {
  const bool rm100 = s_.settings.COMPortDevice == kCOMPortDeviceRM100;
  if (rm100) {
    s_.acquisition.SetSymbols(s_.settings.COMPortReversePolarity);
    if (!s_.serial.OpenRM100Port(s_.acquisition)) {
      // A port named by its device path is named so in the message too.
      const std::string port = s_.settings.COMPortName.empty()
                                   ? "COM" + std::to_string(s_.settings.COMPortNumber)
                                   : s_.settings.COMPortName;
      s_.boxes.Show("An error occured while attempting to port " + port +
                        ".\r\n\r\nThe port may be in use by another application.",
                    "Kestrel", Icon::kStop, Buttons::kOk);
      s_.settings.Monitoring = false;
      return;
    }
  } else {
    if (!s_.serial.SlicerSupported()) {
      s_.boxes.Show("Decoding using a data slicer is not supported under WindowsNT.", "Kestrel",
                    Icon::kNone, Buttons::kOk);
      return;
    }
    s_.acquisition.SetSymbols(s_.settings.COMPortReversePolarity);
    if (!s_.serial.LoadSlicer(s_.acquisition)) {
      s_.settings.Monitoring = false;
      return;
    }
  }
  s_.view.SetAcquisitionTimer(true);
  s_.view.SetPlayEnabled(false);
  s_.view.SetStopEnabled(true);
  s_.view.SetReversePolarityEnabled(true);
  s_.view.SetStatusPanel(1, kMonitoring);
  if (rm100) s_.view.SetAnalyzeSignalEnabled(true);
  s_.view.SetMonitorChecked(true);
  ApplyNetworkButton();
  s_.settings.Monitoring = true;
  StartFeedServer();
}

void Monitoring::StopMonitoring(std::string_view status) {
  Guarded(s_.errors, "StopMonitoring", [&] {
    switch (s_.settings.SieveSource) {
      case kSieveSourceSoundCard:
        if (!StopSoundCard()) return;
        break;
      case kSieveSourceNetwork:
        StopNetwork(status);
        break;
      case kSieveSourceCOMPort:
        if (!StopCOMPort()) return;
        break;
      default:
        return;
    }
    if (s_.rules.PrinterStarted()) s_.rules.EndPrinting();
  });
}

void Monitoring::ShowStopped(std::string_view status) {
  s_.view.SetStatusPanel(1, status.empty() ? kNotMonitoring : status);
  s_.view.SetStatusPanel(2, "");
  s_.view.SetStatusPanel(3, "");
  s_.view.SetMonitorChecked(false);
}

bool Monitoring::StopSoundCard() {
  if (!s_.acquisition.CloseAudioDevice()) {
    s_.boxes.Show("An error occured while attempting to close the audio device.", "Kestrel",
                  Icon::kStop, Buttons::kOk);
    s_.settings.Monitoring = true;
    return false;
  }
  s_.view.SetAcquisitionTimer(false);
  s_.view.SetPlayEnabled(true);
  s_.view.SetStopEnabled(false);
  s_.view.SetAnalyzeSignalEnabled(false);
  ShowStopped({});
  s_.view.SetReversePolarityEnabled(false);
  StopFeedServer();
  return true;
}

bool Monitoring::StopCOMPort() {
  const bool rm100 = s_.settings.COMPortDevice == kCOMPortDeviceRM100;
  const bool closed =
      rm100 ? s_.serial.CloseRM100Port(s_.acquisition) : s_.serial.UnloadSlicer(s_.acquisition);
  if (!closed) {
    s_.boxes.Show(rm100 ? "An error occured while attempting to close COM port."
                        : "An error occured while attempting to unload the slicer driver.",
                  "Kestrel", Icon::kStop, Buttons::kOk);
    s_.settings.Monitoring = true;
    return false;
  }
  s_.view.SetReversePolarityEnabled(false);
  s_.view.SetPlayEnabled(true);
  s_.view.SetStopEnabled(false);
  if (rm100) s_.view.SetAnalyzeSignalEnabled(false);
  ShowStopped({});
  StopFeedServer();
  return true;
}

void Monitoring::StopNetwork(std::string_view status) {
  s_.network.DisconnectFromServer();
  s_.view.SetNetTimer(false);
  s_.view.SetPlayEnabled(true);
  s_.view.SetStopEnabled(false);
  ShowStopped(status);
  s_.view.SetNetworkButton(false, "Not connected to server");
  s_.settings.Monitoring = false;
}

void Monitoring::Timer_Timer() {
  Guarded(s_.errors, "Timer_Timer", [this] {
    if (s_.settings.SieveSource == kSieveSourceSoundCard) {
      if (!s_.acquisition.DeviceOpen()) return;
      AudioBuffers& buffers = s_.acquisition.Buffers();
      if (buffers.Completed() >= AudioBuffers::kCount) s_.view.SetStatusPanel(1, "Buffer overruns");
      if (buffers.Completed() > 0) s_.acquisition.ProcessAudioBuffers();
      if (s_.audio.Finished() && buffers.Completed() == 0) FinishRecording();
    } else if (s_.settings.SieveSource == kSieveSourceCOMPort) {
      if (s_.settings.COMPortDevice == kCOMPortDeviceRM100)
        s_.serial.ProcessRM100Data(s_.acquisition);
      else
        s_.serial.ProcessSlicerData(s_.acquisition);
    }
  });
}

void Monitoring::FinishRecording() {
  const std::string error = s_.audio.Error();
  StopMonitoring();
  if (s_.settings.Monitoring) return;  // the input refused to stop; it said so
  s_.view.SetStatusPanel(1, error.empty() ? "Recording finished" : "Recording failed: " + error);
}

void Monitoring::RefreshStatus(bool capturing) {
  if (s_.settings.Monitoring) s_.view.SetStatusPanel(1, MonitoringText(capturing));
}

}  // namespace kestrel
