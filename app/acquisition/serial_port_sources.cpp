#include "app/acquisition/serial_port_sources.h"

#include <QByteArray>
#include <QString>
#include <algorithm>
#include <array>

#include "app/acquisition/decoder_choice.h"

#ifdef __linux__
#include <linux/serial.h>
#include <sys/ioctl.h>
#endif

namespace kestrel {
namespace {

using Icon = MessageBoxes::Icon;
using Buttons = MessageBoxes::Buttons;

constexpr char kUnableToDecode[] = "Unable to decode data, check data source option settings.";
constexpr char kOverrun[] = "COM port buffer overrun detected.";

static_assert(Acquisition::kWorkBufferSize >= SIEVE_SLICER_OUTPUT_SIZE);
static_assert(SerialPortSources::kRM100Piece * 8 / 6 + SIEVE_MAX_FRAME_OUTPUT <=
              qsizetype(Acquisition::kWorkBufferSize));

// The decoder's quality measure outside this range means the input is not a sliced signal.
bool QualityOutOfRange(int32_t quality) { return quality < 25 || quality > 75; }

// The receive overruns the serial driver has counted on the open port `fd`, hardware and buffer
// overruns together; none when the driver keeps no such count.
std::optional<uint64_t> DriverOverruns([[maybe_unused]] int fd) {
#ifdef __linux__
  serial_icounter_struct counts{};
  if (fd >= 0 && ::ioctl(fd, TIOCGICOUNT, &counts) == 0)
    return uint64_t(uint32_t(counts.overrun)) + uint64_t(uint32_t(counts.buf_overrun));
#endif
  return std::nullopt;
}

// Tells the slicer driver which device to watch: the named one, or (empty) the numbered port.
void PointSlicerAt(const std::string& path) {
  const QByteArray current = qgetenv(SIEVE_SLICER_PORT_VARIABLE);
  if (path.empty()) {
    if (!current.isNull()) qunsetenv(SIEVE_SLICER_PORT_VARIABLE);
  } else if (current != QByteArray::fromStdString(path)) {
    qputenv(SIEVE_SLICER_PORT_VARIABLE, QByteArray::fromStdString(path));
  }
}

}  // namespace

std::string SerialDevicePath(const Settings& settings) {
  if (!settings.COMPortName.empty()) {
    if (settings.COMPortName.find('/') != std::string::npos) return settings.COMPortName;
    return "/dev/" + settings.COMPortName;
  }
  if (settings.COMPortNumber < 1) return {};
  return "/dev/ttyS" + std::to_string(settings.COMPortNumber - 1);
}

SerialPortSources::SerialPortSources() = default;

SerialPortSources::~SerialPortSources() {
  if (slicer_loaded_) UninstallSlicerDriver();
}

bool SerialPortSources::OpenPort(const std::string& path) {
  if (port_.isOpen()) port_.close();
  port_.setPortName(QString::fromStdString(path));
  port_.setBaudRate(kRM100LineRate);
  port_.setDataBits(QSerialPort::Data8);
  port_.setParity(QSerialPort::NoParity);
  port_.setStopBits(QSerialPort::OneStop);
  port_.setFlowControl(QSerialPort::NoFlowControl);
  port_.setReadBufferSize(kReceiveBufferSize);
  if (path.empty() || !port_.open(QIODevice::ReadOnly)) return false;
  driver_overruns_ = DriverOverruns(int(port_.handle()));
  return true;
}

bool SerialPortSources::OpenRM100Port(Acquisition& acquisition) {
  const Settings& settings = acquisition.Services().settings;
  acquisition.SetSymbols(settings.COMPortReversePolarity);
  acquisition.RestartDecoding();
  path_ = SerialDevicePath(settings);
  if (!OpenPort(path_)) {
    port_.clearError();
    return false;
  }
  acquisition.SetDeviceOpen(true);
  return true;
}

bool SerialPortSources::CloseRM100Port(Acquisition& acquisition) {
  acquisition.SetDeviceOpen(false);
  if (port_.isOpen()) port_.close();
  port_.clearError();
  return true;
}

bool SerialPortSources::OverrunSinceLastPoll() {
  bool overrun = port_.bytesAvailable() >= kReceiveBufferSize;
  if (driver_overruns_) {
    const std::optional<uint64_t> now = DriverOverruns(int(port_.handle()));
    if (now && *now != *driver_overruns_) overrun = true;
    driver_overruns_ = now;
  }
  return overrun;
}

void SerialPortSources::ReportPortFailure(Acquisition& acquisition, int number,
                                          const std::string& reason) {
  // Closed first: the report is modal, and polls that run meanwhile must find the port closed.
  if (port_.isOpen()) port_.close();
  port_.clearError();
  acquisition.Services().errors.ReportError("Timer_Timer", number, path_ + ": " + reason);
}

void SerialPortSources::ProcessRM100Data(Acquisition& acquisition) {
  if (!port_.isOpen()) return;
  acquisition.CountWarmUpPoll();
  const QSerialPort::SerialPortError error = port_.error();
  if (error == QSerialPort::ResourceError || error == QSerialPort::ReadError) {
    ReportPortFailure(acquisition, int(error), port_.errorString().toStdString());
    return;
  }
  if (error != QSerialPort::NoError) port_.clearError();
  if (OverrunSinceLastPoll()) acquisition.Services().view.SetStatusPanel(1, kOverrun);

  const QByteArray input = port_.readAll();
  for (qsizetype at = 0; at < input.size(); at += kRM100Piece) {
    // Monitoring stopped while the hand-off had a dialog open: the rest is not wanted.
    if (!acquisition.DeviceOpen()) return;
    const auto count = int32_t(std::min(kRM100Piece, input.size() - at));
    if (!DecodePiece(acquisition, input.constData() + at, count)) return;
  }
}

bool SerialPortSources::DecodePiece(Acquisition& acquisition, const char* bytes, int32_t count) {
  int32_t corrections = 0;
  int32_t quality = 0;
  const bool capture = acquisition.CaptureRequested();
  // The bytes are decoded where they are: the decoder reads its input while it writes its output,
  // so the work buffer cannot be both.
  const int32_t decoded =
      RM100Decoder(acquisition.Services().settings.DecoderMode)(
          reinterpret_cast<const uint8_t*>(bytes), count, acquisition.WorkBuffer(),
          kRM100SampleRate, Acquisition::kBaud, acquisition.AboveSymbol(),
          acquisition.BelowSymbol(), &corrections, &quality, capture);
  acquisition.SetQuality(quality);
  if (capture) acquisition.DeliverCapture();
  if (decoded > 0) {
    acquisition.HandOffDecodedData(decoded, corrections);
    return true;
  }
  if (!QualityOutOfRange(quality) || !acquisition.WarmedUp()) return true;
  if (port_reset_done_) {
    acquisition.Services().view.SetStatusPanel(1, kUnableToDecode);
    return true;
  }
  // Once per run, a receiver that sends nothing decodable gets a fresh port before it is blamed.
  port_reset_done_ = true;
  port_.close();
  if (OpenPort(path_)) return true;
  ReportPortFailure(acquisition, int(port_.error()), port_.errorString().toStdString());
  return false;
}

bool SerialPortSources::LoadSlicer(Acquisition& acquisition) {
  Settings& settings = acquisition.Services().settings;
  if (settings.COMPortNumber < 1) settings.COMPortNumber = 0;
  acquisition.SetSymbols(settings.COMPortReversePolarity);
  acquisition.ClearWorkBuffer();
  PointSlicerAt(settings.COMPortName.empty() ? std::string() : SerialDevicePath(settings));
  slicer_loaded_ = InstallSlicerDriver(settings.COMPortNumber) == 1;
  if (slicer_loaded_) {
    acquisition.SetDeviceOpen(true);
    return true;
  }
  std::array<char, 256> reason{};
  GetErrorMessage(reason.data());
  acquisition.Services().boxes.Show(
      std::string("Error loading data slicer VxD.\r\n\r\n") + reason.data(), "Kestrel", Icon::kStop,
      Buttons::kOk);
  return false;
}

bool SerialPortSources::UnloadSlicer(Acquisition& acquisition) {
  acquisition.SetDeviceOpen(false);
  UninstallSlicerDriver();
  slicer_loaded_ = false;
  return true;
}

void SerialPortSources::ProcessSlicerData(Acquisition& acquisition) {
  const AcquisitionServices& s = acquisition.Services();
  if (!s.settings.Monitoring) return;
  int32_t corrections = 0;
  int32_t pending = 0;
  // The above symbol goes with a low line, the below symbol with a high one.
  const int32_t decoded =
      SlicerToBytes(acquisition.WorkBuffer(), Acquisition::kBaud, acquisition.AboveSymbol(),
                    acquisition.BelowSymbol(), &corrections, &pending);
  if (decoded > 0) {
    acquisition.HandOffDecodedData(decoded, corrections);
  } else if (pending >= 0 && pending < 100) {
    // Few or no edges since the last poll; with more, or after the ring wrapped, the slicer is
    // at least delivering something.
    s.view.SetStatusPanel(1, kUnableToDecode);
  }
}

bool SerialPortSources::SlicerSupported() const {
#ifdef __linux__
  return true;
#else
  return false;
#endif
}

}  // namespace kestrel
