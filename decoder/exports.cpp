#include "decoder/decoder.h"
#include "sieve/sieve.h"

using sieve::ProcessDecoder;

int32_t AudioToBytes(int8_t* samples, int32_t count, uint8_t* output, int32_t rate, int32_t baud,
                     int32_t above, int32_t below, int32_t* corrections, int32_t* quality,
                     int32_t capture) {
  return ProcessDecoder().AudioToBytes(samples, count, output, rate, baud, above, below,
                                       corrections, quality, capture);
}

int32_t RM100BytesToBytes(const uint8_t* input, int32_t count, uint8_t* output, int32_t rate,
                          int32_t baud, int32_t above, int32_t below, int32_t* corrections,
                          int32_t* quality, int32_t capture) {
  return ProcessDecoder().RM100BytesToBytes(input, count, output, rate, baud, above, below,
                                            corrections, quality, capture);
}

int32_t RobustAudioToBytes(int8_t* samples, int32_t count, uint8_t* output, int32_t rate,
                           int32_t baud, int32_t above, int32_t below, int32_t* corrections,
                           int32_t* quality, int32_t capture) {
  return ProcessDecoder().RobustAudioToBytes(samples, count, output, rate, baud, above, below,
                                             corrections, quality, capture);
}

int32_t RobustRM100BytesToBytes(const uint8_t* input, int32_t count, uint8_t* output, int32_t rate,
                                int32_t baud, int32_t above, int32_t below, int32_t* corrections,
                                int32_t* quality, int32_t capture) {
  return ProcessDecoder().RobustRM100BytesToBytes(input, count, output, rate, baud, above, below,
                                                  corrections, quality, capture);
}

int32_t SlicerToBytes(uint8_t* output, int32_t baud, int32_t low_symbol, int32_t high_symbol,
                      int32_t* corrections, int32_t* pending) {
  return ProcessDecoder().SlicerToBytes(output, baud, low_symbol, high_symbol, corrections,
                                        pending);
}

int32_t SignalInformation(int32_t count, uint8_t* raw_positive, uint8_t* raw_negative,
                          uint8_t* masked_positive, uint8_t* masked_negative, uint8_t* marks,
                          int32_t* threshold) {
  return ProcessDecoder().SignalInformation(count, raw_positive, raw_negative, masked_positive,
                                            masked_negative, marks, threshold);
}

int32_t ReInit(void) { return ProcessDecoder().ReInit(); }

int32_t GetErrorMessage(char* text) { return ProcessDecoder().GetErrorMessage(text); }

int32_t InstallSlicerDriver(int32_t port) { return ProcessDecoder().InstallSlicerDriver(port); }

int32_t UninstallSlicerDriver(void) { return ProcessDecoder().UninstallSlicerDriver(); }
