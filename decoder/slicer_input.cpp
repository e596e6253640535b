#include "decoder/slicer_input.h"

#include <cmath>
#include <cstring>

namespace sieve {
namespace {

// The ring's durations are read at a whole 838 ns a tick, as the decoder has always read them.
constexpr double kTickNs = 838.0;

static_assert(FrameDecoder::kMaxFrameOutput == SIEVE_MAX_FRAME_OUTPUT);

}  // namespace

SlicerPortResources SlicerPortTable(int32_t port) {
  switch (port) {
    case 2:
      return {3, 0x2F8};
    case 3:
      return {4, 0x3E8};
    case 4:
      return {3, 0x2E8};
    default:
      return {4, 0x3F8};
  }
}

int32_t SlicerInput::Install(int32_t port) {
  // A second install must not leave the first link running.
  Uninstall();
  const SlicerPortResources resources = SlicerPortTable(port);
  return OpenDevice(resources.irq, resources.base_address) ? 1 : 0;
}

bool SlicerInput::OpenDevice(int32_t irq, int32_t base_address) {
  SlicerDevice* device = lookup_ ? lookup_(kSlicerDeviceName) : nullptr;
  if (device == nullptr || !device->Open()) {
    SetError("Error loading slicer.vxd.");
    return false;
  }
  const SlicerLinkRequest request{irq, base_address};
  SlicerLinkReply reply{};
  const bool linked = device->Control(kSlicerLinkRequestCode, request, reply) &&
                      reply.durations != nullptr && reply.statuses != nullptr &&
                      reply.write_index != nullptr && reply.ring_length > 0;
  if (!linked) {
    SetError("Unknown error from VxD.");
    device->Close();
    return false;
  }
  device_ = device;
  link_ = reply;
  return true;
}

int32_t SlicerInput::Uninstall() {
  if (device_ != nullptr) {
    device_->Close();
    device_ = nullptr;
    link_ = SlicerLinkReply{};
  }
  return 0;
}

int32_t SlicerInput::ToBytes(uint8_t* output, int32_t baud, int32_t low_symbol, int32_t high_symbol,
                             int32_t* corrections, int32_t* pending) {
  frames_.BeginCall(output);
  const bool linked = device_ != nullptr;
  const int32_t write_index = linked ? link_.write_index->load(std::memory_order_acquire) : 0;
  if (pending) *pending = linked ? write_index - read_index_ : 0;
  if (nanoseconds_per_bit_ == 0.0 && baud > 0) nanoseconds_per_bit_ = double(1000000000 / baud);

  if (linked && output != nullptr && nanoseconds_per_bit_ > 0.0) Drain(low_symbol, high_symbol);
  if (corrections) *corrections = frames_.corrections();
  return frames_.output_count();
}

void SlicerInput::Drain(int32_t low_symbol, int32_t high_symbol) {
  const int32_t length = link_.ring_length;
  if (read_index_ >= length) read_index_ = 0;  // a shorter ring than the last link's
  for (;;) {
    const int32_t write = link_.write_index->load(std::memory_order_acquire);
    // A write index outside the ring is a driver fault; leave the ring alone.
    if (read_index_ == write || write < 0 || write >= length) return;
    const double bits = link_.durations[read_index_] * kTickNs / nanoseconds_per_bit_;
    const int32_t n = int32_t(std::floor(bits + 0.5));
    const uint8_t status = link_.statuses[read_index_];
    // The slicer drives CTS or DSR; CTS when it is the input that changed.
    const bool high = (status & kStatusCtsChanged) ? (status & kStatusCts) : (status & kStatusDsr);
    const uint8_t symbol = uint8_t((high ? high_symbol : low_symbol) & 0xFF);
    for (; entry_bits_done_ < n; ++entry_bits_done_) {
      // Any bit may end a frame; stop while its bytes are sure to fit.
      if (kOutputSize - frames_.output_count() < FrameDecoder::kMaxFrameOutput) return;
      frames_.ProcessBit(symbol);
    }
    entry_bits_done_ = 0;
    if (++read_index_ == length) read_index_ = 0;
  }
}

int32_t SlicerInput::GetErrorMessage(char* text) const {
  const size_t length = std::strlen(error_text_.data());
  if (text) std::memcpy(text, error_text_.data(), length + 1);
  return int32_t(length);
}

void SlicerInput::SetError(const char* text) {
  std::strncpy(error_text_.data(), text, error_text_.size() - 1);
}

}  // namespace sieve
