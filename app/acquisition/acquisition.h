#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "app/acquisition/audio_buffers.h"
#include "app/acquisition/audio_input.h"
#include "app/acquisition/other_sources.h"
#include "app/platform/message_box.h"
#include "app/profile/report_error.h"
#include "app/profile/settings.h"
#include "app/traffic/process_sieve.h"

namespace kestrel {

// What monitoring changes on the main window: timers, toolbar buttons, menu items and the
// status bar's panels (1 to 3).
class MonitoringView {
 public:
  virtual ~MonitoringView() = default;
  virtual void SetStatusPanel(int panel, std::string_view text) = 0;
  // The 250 ms acquisition poll.
  virtual void SetAcquisitionTimer(bool enabled) = 0;
  virtual void SetNetTimer(bool enabled) = 0;
  virtual void SetPlayEnabled(bool enabled) = 0;
  virtual void SetStopEnabled(bool enabled) = 0;
  virtual void SetNetworkButton(bool enabled, std::string_view tool_tip) = 0;
  virtual void SetMonitorChecked(bool checked) = 0;
  virtual void SetAnalyzeSignalEnabled(bool enabled) = 0;
  virtual void SetReversePolarityEnabled(bool enabled) = 0;
  // A block was captured for the signal analysis window.
  virtual void ShowSignalCapture() = 0;
};

// Everything acquisition reaches.
struct AcquisitionServices {
  Settings& settings;
  AudioInput& audio;
  MessageBoxes& boxes;
  MonitoringView& view;
  TrafficProcessor& traffic;
  FeedNetwork& network;
  ErrorReporter& errors;
};

// The sound-card source: the ten capture buffers, their decoding at each poll, and the step
// every decoding path shares, handing decoded bytes on to the feed clients and the traffic.
class Acquisition {
 public:
  static constexpr int32_t kBaud = 4800;
  static constexpr int kWarmUpPolls = 10;

  explicit Acquisition(const AcquisitionServices& services) : s_(services) {}

  bool OpenAudioDevice();
  bool CloseAudioDevice();
  void ProcessAudioBuffers();
  // The decoded record is the first `count` bytes of the work buffer.
  void HandOffDecodedData(int32_t count, int32_t corrections);

  // The decoder's symbols for the signal above and below its threshold: "1" and "0", swapped
  // when `reversed`.
  void SetSymbols(bool reversed);
  int32_t AboveSymbol() const { return above_; }
  int32_t BelowSymbol() const { return below_; }

  bool DeviceOpen() const { return device_open_; }
  void SetDeviceOpen(bool open) { device_open_ = open; }
  AudioBuffers& Buffers() { return buffers_; }
  int CurrentBuffer() const { return current_buffer_; }
  int WarmUpCount() const { return warm_up_; }
  // Counts one decoding poll, up to kWarmUpPolls. Status texts about undecodable input wait until
  // the count is full, so a receiver that is still settling is not reported.
  void CountWarmUpPoll() {
    if (warm_up_ < kWarmUpPolls) ++warm_up_;
  }
  bool WarmedUp() const { return warm_up_ >= kWarmUpPolls; }
  // A source opens: a zeroed work buffer, a fresh threshold search and no warm-up polls yet.
  void RestartDecoding();
  void ClearWorkBuffer() { work_.fill(0); }
  // What every source decodes and reports through; the serial sources use the same services.
  const AcquisitionServices& Services() const { return s_; }
  // The output of every decoder call; room for one audio buffer's output.
  uint8_t* WorkBuffer() { return work_.data(); }
  static constexpr size_t kWorkBufferSize = 8192;
  // The next decoded block is kept for the signal analysis window.
  void RequestCapture() { capture_request_ = true; }
  bool CaptureRequested() const { return capture_request_; }
  // After a decoding call made with the capture request set: clears it and shows the capture.
  void DeliverCapture();
  const std::string& ErrorText() const { return error_text_; }
  // The decoder's signal quality (0-100) of the last decoding call; -1 before the first.
  int32_t Quality() const { return quality_; }
  void SetQuality(int32_t quality) { quality_ = quality; }

 private:
  AcquisitionServices s_;
  AudioBuffers buffers_;
  std::array<uint8_t, kWorkBufferSize> work_{};
  int current_buffer_ = 0;
  int warm_up_ = 0;
  bool device_open_ = false;
  bool capture_request_ = false;
  int32_t above_ = '1';
  int32_t below_ = '0';
  std::string error_text_;
  int32_t quality_ = -1;
};

// Message of a failed sound-device open, by cause.
std::string AudioOpenFailureText(const AudioOpenResult& result);

}  // namespace kestrel
