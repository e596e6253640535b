#pragma once

#include <cstdint>

#include "app/profile/settings.h"
#include "sieve/sieve.h"

namespace kestrel {

// The decoding calls of the decoder a DecoderMode setting chooses. Both decoders share the
// exports' shape, so each source calls the chosen one where it called the exact one; the choice
// is read at every call, so changing it needs no restart.
using AudioDecodeCall = int32_t (*)(int8_t*, int32_t, uint8_t*, int32_t, int32_t, int32_t, int32_t,
                                    int32_t*, int32_t*, int32_t);
using RM100DecodeCall = int32_t (*)(const uint8_t*, int32_t, uint8_t*, int32_t, int32_t, int32_t,
                                    int32_t, int32_t*, int32_t*, int32_t);

inline AudioDecodeCall AudioDecoder(int decoder_mode) {
  return decoder_mode == kDecoderModeExact ? &AudioToBytes : &RobustAudioToBytes;
}

inline RM100DecodeCall RM100Decoder(int decoder_mode) {
  return decoder_mode == kDecoderModeExact ? &RM100BytesToBytes : &RobustRM100BytesToBytes;
}

}  // namespace kestrel
