#include "decoder/decoder.h"

namespace sieve {

Decoder& ProcessDecoder() {
  static Decoder* decoder = new Decoder();
  return *decoder;
}

}  // namespace sieve
