/* Sieve: the MDC-4800 decoder library.
 *
 * One decoder per process: every export shares the same state, which starts at its initial values
 * when the library is loaded and lives until the process ends. The exports are not reentrant; call
 * them from one thread. All integers are 32-bit signed and every buffer belongs to the caller.
 *
 * Symbols: a symbol is an integer whose low byte is a character. The decoder counts a bit as a one
 * exactly when that character is '1'; pass '1' and '0', swapped to reverse the polarity.
 *
 * Decoded output: the bytes of every frame that ends during a call, frame after frame, each padded
 * with zeros to a whole number of 18-byte groups (at most 1008 bytes a frame), after which the
 * trailing zero bytes of the whole output are trimmed (the first byte is never trimmed). A frame
 * that began in an earlier call is delivered by the call in which it ends.
 */
#pragma once

#include <stdint.h>

#include "sieve/sieve_export.h"

#ifdef __cplusplus
extern "C" {
#endif

/* The most bytes one frame adds to a call's output. */
#define SIEVE_MAX_FRAME_OUTPUT 1008
/* The size of the output buffer SlicerToBytes writes to; it never writes more. */
#define SIEVE_SLICER_OUTPUT_SIZE 8192

/* Decodes a block of 8-bit audio: unsigned samples with the rest level at 128, read as signed.
 * The sample mask in force is applied to `samples` in place. `rate` is in samples per second
 * (44100 or 22050 from a sound card), `baud` in bits per second (4800). `above` is emitted for
 * samples at or above the decision threshold, `below` for the others.
 * Writes the number of corrected bits to *corrections (not written when no threshold was found)
 * and the share of bit periods that carried `above`, in percent, to *quality (0 first).
 * `capture` non-zero keeps a copy of the block for SignalInformation.
 * Returns the number of bytes written to `output`, which must hold count / 6 + 1008 bytes.
 * A non-positive rate or baud decodes nothing and returns 0. */
SIEVE_EXPORT int32_t AudioToBytes(int8_t* samples, int32_t count, uint8_t* output, int32_t rate,
                                  int32_t baud, int32_t above, int32_t below, int32_t* corrections,
                                  int32_t* quality, int32_t capture);

/* Decodes RM100 receiver bytes: each byte holds eight consecutive samples of the sliced signal,
 * the first in the least significant bit (1 = high). Decodes them as AudioToBytes would decode the
 * samples 127 (bit set) and 0; `rate` is 19200 and `baud` 4800 for the RM100.
 * `output` must hold 8 * count / 6 + 1008 bytes. */
SIEVE_EXPORT int32_t RM100BytesToBytes(const uint8_t* input, int32_t count, uint8_t* output,
                                       int32_t rate, int32_t baud, int32_t above, int32_t below,
                                       int32_t* corrections, int32_t* quality, int32_t capture);

/* The robust decoder: the same call shape as AudioToBytes, for real receivers' audio (noise, DC
 * offset, AC coupling, a quiet squelched floor, clock drift). A filter matched to the bit, a bit
 * clock from a timing-error detector, a decision level that follows the signal (it is kept through
 * silence), soft sync detection and a maximum-likelihood search over the error-correcting code of
 * every block. A frame is delivered only when every one of its blocks decoded with confidence and
 * its closing word arrived where a block would start; otherwise it is dropped whole, so a delivered
 * frame holds exactly what was sent. It has its own state, apart from the exact decoder's: the
 * frame in progress, the clock and the level carry over only between robust calls.
 * `samples` are 8-bit unsigned with the rest level at 128 (as AudioToBytes receives them) and are
 * not modified. `above` is emitted for the level below 128, which AudioToBytes reads as the larger
 * signed value, and `below` for the level above it; swap them to reverse the polarity.
 * `rate` / `baud` must lie within 2 to 24 samples a bit, otherwise nothing is decoded.
 * *corrections: the code bits the soft decoder flipped in the blocks it decoded during the call.
 * *quality: the share, in percent (0..100), of the block's nominal bit periods in which the clock
 * took an `above` bit; about 50 on a busy channel, written as 0 first. Nothing depends on it.
 * `capture` non-zero keeps the block for SignalInformation: raw as for AudioToBytes, the "masked"
 * arrays hold the samples as this decoder reads them (128 minus the sample, so `above` is up),
 * marks where its clock took each bit, and the threshold is its decision level on that scale.
 * Returns the number of bytes written to `output`, which must hold count / 6 + 1008 bytes. */
SIEVE_EXPORT int32_t RobustAudioToBytes(int8_t* samples, int32_t count, uint8_t* output,
                                        int32_t rate, int32_t baud, int32_t above, int32_t below,
                                        int32_t* corrections, int32_t* quality, int32_t capture);

/* The robust decoder for RM100 bytes (eight samples a byte, the first in the least significant
 * bit, a set bit the `above` side), with RobustAudioToBytes's outputs; `rate` is 19200 and `baud`
 * 4800 for the RM100. The slicer has removed the DC already, so the decision level stays at the
 * middle (63 in the capture, whose samples read 127 and 0 as for RM100BytesToBytes).
 * `output` must hold 8 * count / 6 + 1008 bytes. */
SIEVE_EXPORT int32_t RobustRM100BytesToBytes(const uint8_t* input, int32_t count, uint8_t* output,
                                             int32_t rate, int32_t baud, int32_t above,
                                             int32_t below, int32_t* corrections, int32_t* quality,
                                             int32_t capture);

/* Decodes the data-slicer periods that the driver has recorded since the last call, one bit per
 * bit period of each (a period shorter than half a bit gives none). `low_symbol` is emitted while
 * the line is low, `high_symbol` while it is high. *pending receives the driver's write index minus
 * the library's read index before anything is consumed (negative after the ring wrapped).
 * `output` must hold SIEVE_SLICER_OUTPUT_SIZE bytes; when less room than SIEVE_MAX_FRAME_OUTPUT
 * remains the call stops and leaves the rest of the ring for the next call.
 * Returns 0 when no driver is linked. */
SIEVE_EXPORT int32_t SlicerToBytes(uint8_t* output, int32_t baud, int32_t low_symbol,
                                   int32_t high_symbol, int32_t* corrections, int32_t* pending);

/* Hands out the block kept by the last capturing call, at most `count` entries: the raw samples
 * (each re-centred on the rest level) and the masked samples, each split into a positive and a
 * negative magnitude array, and 1 in `marks` where the bit clock took a bit. Writes the threshold
 * that was in force when the block was captured. Releases the capture and returns the number of
 * entries written; 0 when no capture is pending. */
SIEVE_EXPORT int32_t SignalInformation(int32_t count, uint8_t* raw_positive, uint8_t* raw_negative,
                                       uint8_t* masked_positive, uint8_t* masked_negative,
                                       uint8_t* marks, int32_t* threshold);

/* Makes the next audio or RM100 call search for a threshold from the first sample mask on, and
 * makes the robust decoder learn its decision level and amplitude afresh.
 * The frame in progress, the bit clocks and the slicer link are kept. Returns 0. */
SIEVE_EXPORT int32_t ReInit(void);

/* Copies the last slicer-driver error text with its NUL into `text` (at least 256 bytes) and
 * returns its length; an empty text before any failure. */
SIEVE_EXPORT int32_t GetErrorMessage(char* text);

/* The environment variable that, when set and not empty, names the serial device the slicer
 * driver watches whatever the port number (a USB serial adapter, say). Read at every install. */
#define SIEVE_SLICER_PORT_VARIABLE "SIEVE_SLICER_PORT"

/* Loads the slicer driver for serial port `port` (1 to 4; any other number means port 1) and
 * links the library to its ring. Returns 1 on success, 0 on failure (see GetErrorMessage). */
SIEVE_EXPORT int32_t InstallSlicerDriver(int32_t port);

/* Stops and unloads the slicer driver. Returns 0. */
SIEVE_EXPORT int32_t UninstallSlicerDriver(void);

#ifdef __cplusplus
}
#endif
