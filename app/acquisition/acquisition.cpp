#include "app/acquisition/acquisition.h"

#include <algorithm>

#include "app/acquisition/decoder_choice.h"
#include "sieve/sieve.h"

namespace kestrel {
namespace {

constexpr int kDefaultSamplingRate = 44100;
constexpr char kOpenFailure[] = "An error occured while attempting to open audio device.  ";

}  // namespace

std::string AudioOpenFailureText(const AudioOpenResult& result) {
  std::string text = kOpenFailure;
  switch (result.error) {
    case AudioOpenError::kNone:
      return {};
    case AudioOpenError::kInUse:
      return text + "  The device appears to already be in use.";
    case AudioOpenError::kNoDriver:
      return text + "  No device driver present.";
    case AudioOpenError::kFormatNotSupported:
      return text + "  Audio format requested by program not supported by audio device.";
    case AudioOpenError::kOther:
      break;
  }
  text += "The audio device may be in use by another application.  ";
  text += result.detail.empty() ? std::string("The sound system gave no reason") : result.detail;
  if (text.back() != '.') text += '.';
  return text;
}

void Acquisition::SetSymbols(bool reversed) {
  above_ = reversed ? '0' : '1';
  below_ = reversed ? '1' : '0';
}

bool Acquisition::OpenAudioDevice() {
  if (s_.settings.SamplingRate == 0) s_.settings.SamplingRate = kDefaultSamplingRate;
  SetSymbols(s_.settings.ReversePolarity);
  buffers_.Reset();
  const AudioOpenResult result = s_.audio.Open(s_.settings.SamplingRate, buffers_);
  if (!result.ok()) {
    const bool critical = result.error == AudioOpenError::kOther;
    s_.boxes.Show(AudioOpenFailureText(result), "Kestrel",
                  critical ? MessageBoxes::Icon::kStop : MessageBoxes::Icon::kNone,
                  MessageBoxes::Buttons::kOk);
    return false;
  }
  current_buffer_ = 0;
  RestartDecoding();
  device_open_ = true;
  return true;
}

void Acquisition::RestartDecoding() {
  work_.fill(0);
  ReInit();
  warm_up_ = 0;
}

void Acquisition::DeliverCapture() {
  capture_request_ = false;
  s_.view.ShowSignalCapture();
}

bool Acquisition::CloseAudioDevice() {
  device_open_ = false;
  if (!s_.audio.Close()) return false;
  buffers_.Reset();
  current_buffer_ = 0;
  return true;
}

void Acquisition::ProcessAudioBuffers() {
  CountWarmUpPoll();
  const int n = buffers_.Completed();
  for (int i = 0; i < n; ++i) {
    current_buffer_ = current_buffer_ % AudioBuffers::kCount + 1;
    int32_t corrections = 0;
    int32_t quality = 0;
    const bool capture = capture_request_;
    const int32_t count = AudioDecoder(s_.settings.DecoderMode)(
        reinterpret_cast<int8_t*>(buffers_.Data(current_buffer_)), int32_t(AudioBuffers::kSize),
        work_.data(), s_.audio.Rate(), kBaud, above_, below_, &corrections, &quality, capture);
    buffers_.Requeue();
    quality_ = quality;
    if (capture) DeliverCapture();
    if (count > 0) {
      HandOffDecodedData(count, corrections);
    } else if ((quality < 25 || quality > 75) && WarmedUp()) {
      s_.view.SetStatusPanel(
          1, "Unable to decode audio or no audio detected, check data source settings.");
    }
  }
  buffers_.SubtractCompleted(n);
}

void Acquisition::HandOffDecodedData(int32_t count, int32_t corrections) {
  const size_t length = std::min(size_t(std::max(count, 0)), work_.size());
  const std::string record(reinterpret_cast<const char*>(work_.data()), length);
  s_.network.ForwardToClients(record);
  s_.traffic.ProcessSieve(record, corrections);
  error_text_ = std::to_string(corrections);
  s_.view.SetStatusPanel(2, "Errors: " + error_text_);
}

}  // namespace kestrel
