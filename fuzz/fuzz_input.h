#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

namespace kestrel_fuzz {

// Hands out the fuzzer's bytes as values; zeros once they run out.
class Input {
 public:
  Input(const uint8_t* data, size_t size) : data_(data), size_(size) {}
  bool empty() const { return position_ >= size_; }
  uint8_t Byte() { return position_ < size_ ? data_[position_++] : 0; }
  uint16_t Word() { return uint16_t(Byte() | Byte() << 8); }
  int32_t Int() { return int32_t(uint32_t(Word()) | uint32_t(Word()) << 16); }
  // One of the usual values, now and then any value at all.
  template <size_t N>
  int32_t Pick(const int32_t (&usual)[N]) {
    return Byte() < 200 ? PickUsual(usual) : Int();
  }
  template <size_t N>
  int32_t PickUsual(const int32_t (&usual)[N]) {
    return usual[Byte() % N];
  }
  std::vector<uint8_t> Bytes(size_t limit) {
    const size_t wanted = Word() % (limit + 1);
    const size_t count = std::min(wanted, size_ - std::min(size_, position_));
    std::vector<uint8_t> bytes(data_ + position_, data_ + position_ + count);
    position_ += count;
    return bytes;
  }

 private:
  const uint8_t* data_;
  size_t size_;
  size_t position_ = 0;
};

inline void Check(bool ok) {
  if (!ok) std::abort();
}

// Asks for the capture with `requested` as the room (clamped to something allocatable); no count
// may exceed that room.
template <class Decoder>
void CheckSignalInformation(Decoder& decoder, int32_t requested) {
  const size_t room = size_t(std::clamp(requested, 0, 20000 * 8));
  std::vector<uint8_t> a(room), b(room), c(room), d(room), marks(room);
  int32_t threshold;
  const int32_t n =
      decoder.SignalInformation(std::min<int32_t>(requested, int32_t(room)), a.data(), b.data(),
                                c.data(), d.data(), marks.data(), &threshold);
  Check(n >= 0 && size_t(n) <= room);
}

}  // namespace kestrel_fuzz
