#pragma once

#include <QSerialPort>
#include <cstdint>
#include <optional>
#include <string>

#include "app/acquisition/acquisition.h"
#include "app/acquisition/other_sources.h"
#include "app/profile/settings.h"
#include "sieve/sieve.h"

namespace kestrel {

// The serial device of the COM-port sources: COMPortName when it is set (a bare name such as
// "ttyUSB0" is taken from /dev), else /dev/ttyS{n-1} for COMPortNumber n, so COM1 is /dev/ttyS0;
// empty when COMPortNumber is below 1 and no name is set.
std::string SerialDevicePath(const Settings& settings);

// The receivers on a serial port, decoding through the acquisition each operation is handed and
// reporting through its services (settings, message boxes, the monitoring view, the error report):
//
// - RM100: the sliced signal as a byte stream at 38400 bits per second, 8N1, no flow control,
//   eight samples a byte. The port is polled, never read on its own notification: every poll
//   takes all waiting bytes and decodes them in pieces of kRM100Piece bytes, so nothing is left
//   behind however late the poll comes.
// - Data slicer: Sieve's slicer driver, which times the modem-status edges of the port; with
//   COMPortName set the driver watches that device instead of the port COMPortNumber names. The
//   device reaches the driver through the process environment (SIEVE_SLICER_PORT_VARIABLE), which
//   every load sets from COMPortName, or clears when it is empty; the environment is changed on
//   this thread only and only when the value differs.
//
// Receive overruns. The port keeps at most kReceiveBufferSize bytes between polls and then stops
// taking data; a poll that finds the buffer full shows "COM port buffer overrun detected.", as
// does one after the serial driver counted a receive overrun (ports that keep such counts; pseudo
// terminals do not). A port that fails while open (a USB adapter pulled out) is closed and
// reported once through the error report as a failure in Timer_Timer.
//
// Everything runs on the thread that owns the object, which needs a Qt event loop: the port
// collects its bytes between polls from that loop. One object for the program's whole run: the
// RM100 port's automatic reset happens once per run.
class SerialPortSources : public SerialSources {
 public:
  static constexpr int32_t kRM100SampleRate = 19200;  // four samples a bit at 4800 bits per second
  static constexpr qint32 kRM100LineRate = 38400;
  static constexpr qint64 kReceiveBufferSize = 30720;
  // The most RM100 bytes one decoder call takes: the decoder may write 8 * n / 6 + 1008 bytes for
  // n input bytes, and the work buffer must hold them.
  static constexpr qsizetype kRM100Piece =
      qsizetype((Acquisition::kWorkBufferSize - SIEVE_MAX_FRAME_OUTPUT) * 6 / 8);

  SerialPortSources();
  // Closes the port and unloads a slicer driver still loaded, so that no edge-timing thread
  // outlives the program's windows.
  ~SerialPortSources() override;
  SerialPortSources(const SerialPortSources&) = delete;
  SerialPortSources& operator=(const SerialPortSources&) = delete;

  // False when the port cannot be opened; the caller shows the message.
  bool OpenRM100Port(Acquisition& acquisition) override;
  bool CloseRM100Port(Acquisition& acquisition) override;
  // Shows "Error loading data slicer VxD." with the driver's reason on failure.
  bool LoadSlicer(Acquisition& acquisition) override;
  bool UnloadSlicer(Acquisition& acquisition) override;
  void ProcessRM100Data(Acquisition& acquisition) override;
  void ProcessSlicerData(Acquisition& acquisition) override;
  // True where the slicer driver can time modem-status edges (Linux).
  bool SlicerSupported() const override;

  // The RM100 port as it is set up; for diagnosis and tests.
  const QSerialPort& Port() const { return port_; }
  // Bytes received and not yet taken by a poll.
  qint64 BytesWaiting() const { return port_.isOpen() ? port_.bytesAvailable() : 0; }
  // The RM100 port has been closed and reopened once after undecodable input.
  bool PortResetDone() const { return port_reset_done_; }

 private:
  bool OpenPort(const std::string& path);
  // Decodes one piece; false when decoding must stop (the port could not be reopened).
  bool DecodePiece(Acquisition& acquisition, const char* bytes, int32_t count);
  bool OverrunSinceLastPoll();
  void ReportPortFailure(Acquisition& acquisition, int number, const std::string& reason);

  QSerialPort port_;
  std::string path_;
  bool port_reset_done_ = false;
  bool slicer_loaded_ = false;
  // The serial driver's receive overrun count at the last look; none when it keeps none.
  std::optional<uint64_t> driver_overruns_;
};

}  // namespace kestrel
