#include "app/acquisition/qt_audio_input.h"

#include <QAudioDevice>
#include <QAudioFormat>
#include <QAudioSource>
#include <QIODevice>
#include <QMediaDevices>
#include <QMetaObject>
#include <QObject>
#include <QThread>

namespace kestrel {
namespace {

// Bytes taken from the sound system per read; reused, never reallocated while recording.
constexpr size_t kReadBytes = 16384;

std::string ErrorWords(QAudio::Error error) {
  switch (error) {
    case QAudio::NoError:
      return "the input did not start and gave no reason";
    case QAudio::OpenError:
      return "Qt Multimedia: open error";
    case QAudio::IOError:
      return "Qt Multimedia: input/output error";
    case QAudio::UnderrunError:
      return "Qt Multimedia: underrun error";
    case QAudio::FatalError:
      return "Qt Multimedia: fatal error";
  }
  return "Qt Multimedia: error " + std::to_string(int(error));
}

QAudioFormat MonoFormat(int rate, QAudioFormat::SampleFormat sample_format) {
  QAudioFormat format;
  format.setSampleRate(rate);
  format.setChannelCount(1);
  format.setSampleFormat(sample_format);
  return format;
}

}  // namespace

void Int16ToUnsigned8(std::span<const int16_t> in, std::span<uint8_t> out) {
  for (size_t i = 0; i < in.size(); ++i) out[i] = uint8_t((in[i] >> 8) + 128);
}

// The recording itself. `context` and everything it drives live on the capture thread; the
// owner touches them only through blocking calls onto that thread.
class QtAudioInput::Capture {
 public:
  Capture(QtAudioInput& owner, AudioBuffers& buffers, bool sixteen_bit)
      : owner_(owner),
        buffers_(buffers),
        sixteen_bit_(sixteen_bit),
        raw_(kReadBytes / sizeof(int16_t)),
        converted_(sixteen_bit ? raw_.size() : 0) {}

  // Starts recording; "" on success, else Qt's error in words.
  std::string Start(const QAudioDevice& device, const QAudioFormat& format) {
    source_ = new QAudioSource(device, format);
    io_ = source_->start();
    if (io_ == nullptr || source_->error() != QAudio::NoError) {
      const std::string error = ErrorWords(source_->error());
      Stop();
      return error;
    }
    QObject::connect(io_, &QIODevice::readyRead, &context, [this] { Read(); });
    QObject::connect(source_, &QAudioSource::stateChanged, &context, [this](QAudio::State state) {
      if (state == QAudio::StoppedState && source_->error() != QAudio::NoError) {
        owner_.SetStreamError("input stopped: " + ErrorWords(source_->error()));
      }
    });
    return {};
  }

  void Stop() {
    if (source_ == nullptr) return;
    QObject::disconnect(source_, nullptr, &context, nullptr);
    if (io_ != nullptr) QObject::disconnect(io_, nullptr, &context, nullptr);
    source_->stop();
    delete source_;
    source_ = nullptr;
    io_ = nullptr;
  }

  QObject context;

 private:
  void Read() {
    char* const raw = reinterpret_cast<char*>(raw_.data());
    const qint64 room = qint64(raw_.size() * sizeof(int16_t));
    for (;;) {
      const qint64 n = io_->read(raw + pending_, room - qint64(pending_));
      if (n <= 0) return;
      if (!sixteen_bit_) {
        buffers_.Write({reinterpret_cast<const uint8_t*>(raw), size_t(n)});
        continue;
      }
      // A read may end inside a sample; its first byte waits at the front for the rest.
      const size_t bytes = pending_ + size_t(n);
      const size_t samples = bytes / sizeof(int16_t);
      Int16ToUnsigned8(std::span(raw_).first(samples), converted_);
      buffers_.Write(std::span(converted_).first(samples));
      pending_ = bytes % sizeof(int16_t);
      if (pending_ != 0) raw[0] = raw[bytes - 1];
    }
  }

  QtAudioInput& owner_;
  AudioBuffers& buffers_;
  const bool sixteen_bit_;
  QAudioSource* source_ = nullptr;  // owned; made and deleted on the capture thread
  QIODevice* io_ = nullptr;         // source_'s
  std::vector<int16_t> raw_;
  std::vector<uint8_t> converted_;
  size_t pending_ = 0;
};

QtAudioInput::QtAudioInput(std::string device_id, SampleWidth width)
    : device_id_(std::move(device_id)), width_(width) {}

QtAudioInput::~QtAudioInput() { Close(); }

AudioOpenResult QtAudioInput::Open(int sampling_rate, AudioBuffers& buffers) {
  Close();
  {
    std::lock_guard lock(mutex_);
    note_.clear();
    stream_error_.clear();
  }
  const QList<QAudioDevice> inputs = QMediaDevices::audioInputs();
  if (inputs.isEmpty()) return {AudioOpenError::kNoDriver, "no sound input device is listed"};

  QAudioDevice device;
  const QByteArray wanted = QByteArray::fromStdString(device_id_);
  for (const QAudioDevice& input : inputs) {
    if (!wanted.isEmpty() && input.id() == wanted) {
      device = input;
      break;
    }
  }
  if (device.isNull()) {
    device = QMediaDevices::defaultAudioInput();
    if (device.isNull()) device = inputs.front();
    if (!wanted.isEmpty()) {
      std::lock_guard lock(mutex_);
      note_ = "input \"" + device_id_ + "\" not found, using \"" +
              device.description().toStdString() + "\"";
    }
  }

  QAudioFormat format = MonoFormat(sampling_rate, QAudioFormat::UInt8);
  const bool sixteen_bit = width_ == SampleWidth::k16Bit || !device.isFormatSupported(format);
  if (sixteen_bit) {
    format = MonoFormat(sampling_rate, QAudioFormat::Int16);
    if (!device.isFormatSupported(format)) {
      return {AudioOpenError::kFormatNotSupported,
              "neither 8-bit nor 16-bit mono at " + std::to_string(sampling_rate) + " Hz"};
    }
  }

  rate_ = sampling_rate;
  thread_ = std::make_unique<QThread>();
  thread_->setObjectName("audio capture");
  capture_ = std::make_unique<Capture>(*this, buffers, sixteen_bit);
  capture_->context.moveToThread(thread_.get());
  thread_->start();
  std::string failure = "the capture thread did not run";
  QMetaObject::invokeMethod(
      &capture_->context, [&] { failure = capture_->Start(device, format); },
      Qt::BlockingQueuedConnection);
  if (!failure.empty()) {
    Close();
    return {AudioOpenError::kOther, failure};
  }
  return {};
}

bool QtAudioInput::Close() {
  if (thread_ == nullptr) return true;
  QMetaObject::invokeMethod(
      &capture_->context, [this] { capture_->Stop(); }, Qt::BlockingQueuedConnection);
  thread_->quit();
  thread_->wait();
  capture_.reset();
  thread_.reset();
  return true;
}

std::string QtAudioInput::Note() const {
  std::lock_guard lock(mutex_);
  if (note_.empty()) return stream_error_;
  if (stream_error_.empty()) return note_;
  return note_ + "; " + stream_error_;
}

void QtAudioInput::SetStreamError(const std::string& error) {
  std::lock_guard lock(mutex_);
  stream_error_ = error;
}

std::vector<std::pair<std::string, std::string>> QtAudioInput::Devices() {
  std::vector<std::pair<std::string, std::string>> devices;
  for (const QAudioDevice& input : QMediaDevices::audioInputs()) {
    devices.emplace_back(input.id().toStdString(), input.description().toStdString());
  }
  return devices;
}

}  // namespace kestrel
