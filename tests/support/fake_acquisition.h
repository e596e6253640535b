#pragma once

#include <map>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "app/acquisition/acquisition.h"
#include "app/acquisition/audio_input.h"
#include "app/mail/mail_control.h"
#include "app/rules/rule_processing.h"

namespace kestrel_test {

// A sound input the test drives: it opens as told and the test writes the samples.
struct FakeAudioInput : kestrel::AudioInput {
  kestrel::AudioOpenResult Open(int sampling_rate, kestrel::AudioBuffers& b) override {
    ++opens;
    opened_rate = sampling_rate;
    if (!open_result.ok()) return open_result;
    buffers = &b;
    open = true;
    return {};
  }
  bool Close() override {
    ++closes;
    if (!close_succeeds) return false;
    open = false;
    buffers = nullptr;
    return true;
  }
  int Rate() const override { return opened_rate; }
  std::string Note() const override { return note; }
  bool Finished() const override { return finished; }
  std::string Error() const override { return error; }

  // Writes whole buffers of one sample value.
  void Fill(int buffer_count, uint8_t value = 128) {
    std::vector<uint8_t> block(kestrel::AudioBuffers::kSize, value);
    for (int i = 0; i < buffer_count; ++i) buffers->Write(block);
  }
  void Write(std::span<const uint8_t> samples) { buffers->Write(samples); }

  kestrel::AudioOpenResult open_result;
  bool close_succeeds = true;
  std::string note;
  bool finished = false;
  std::string error;
  kestrel::AudioBuffers* buffers = nullptr;
  bool open = false;
  int opens = 0;
  int closes = 0;
  int opened_rate = 0;
};

// The window's side of monitoring, as recorded state.
struct FakeMonitoringView : kestrel::MonitoringView {
  void SetStatusPanel(int panel, std::string_view text) override {
    panels[panel] = std::string(text);
    panel_history.emplace_back(text);
  }
  void SetAcquisitionTimer(bool enabled) override { timer = enabled; }
  void SetNetTimer(bool enabled) override { net_timer = enabled; }
  void SetPlayEnabled(bool enabled) override { play = enabled; }
  void SetStopEnabled(bool enabled) override { stop = enabled; }
  void SetNetworkButton(bool enabled, std::string_view tip) override {
    network = enabled;
    network_tip = std::string(tip);
  }
  void SetMonitorChecked(bool checked) override { monitor_checked = checked; }
  void SetAnalyzeSignalEnabled(bool enabled) override { analyze = enabled; }
  void SetReversePolarityEnabled(bool enabled) override { reverse = enabled; }
  void ShowSignalCapture() override { ++captures; }

  std::map<int, std::string> panels;
  std::vector<std::string> panel_history;
  bool timer = false, net_timer = false, play = true, stop = false, network = false;
  std::string network_tip;
  bool monitor_checked = false, analyze = false, reverse = false;
  int captures = 0;
};

// A feed with a number of clients that records what it was asked to do.
struct FakeFeedNetwork : kestrel::FeedNetwork {
  int ClientCount() const override { return clients; }
  void ForwardToClients(const std::string& record) override { forwarded.push_back(record); }
  void SendToClients(std::string_view text) override { sent.emplace_back(text); }
  bool StartListening() override {
    ++listens;
    return true;
  }
  void StopListening() override { ++stops; }
  void CloseClients() override { ++closes; }
  bool ConnectToServer() override { return connect_succeeds; }
  void DisconnectFromServer() override { ++disconnects; }

  int clients = 0;
  bool connect_succeeds = false;
  std::vector<std::string> forwarded, sent;
  int listens = 0, stops = 0, closes = 0, disconnects = 0;
};

struct SilentAlert : kestrel::AlertView {
  void ShowAlert(const kestrel::AlertContent& content) override { shown.push_back(content); }
  void SetReceived(std::string_view) override {}
  void SetMessageText(std::string_view) override {}
  std::vector<kestrel::AlertContent> shown;
};

struct SilentSound : kestrel::SoundOutput {
  void PlaySound(const std::string&) override {}
  void Beep() override { ++beeps; }
  int beeps = 0;
};

// Mail that is never sent anywhere.
struct NoMail : kestrel::MailControl {
  void ClearToAddresses() override {}
  void AddToAddress(const std::string&, const std::string&) override {}
  void SetFromName(const std::string&) override {}
  void SetFromAddress(const std::string&) override {}
  void SetSubject(const std::string&) override {}
  void SetHostname(const std::string&) override {}
  void SetContentType(const std::string&) override {}
  void SetMessage(const std::string&) override {}
  bool Send() override {
    ++sends;
    return true;
  }
  int sends = 0;
};

}  // namespace kestrel_test
