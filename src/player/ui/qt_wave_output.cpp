#include "player/ui/qt_wave_output.h"

#include <QAudioSink>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QIODevice>
#include <QMediaDevices>
#include <QThread>
#include <cstring>

namespace parvolin::player::ui {

namespace {

// The buffer handed to play, read by the sink as it needs it. Nothing is copied.
class BufferSource final : public QIODevice {
 public:
  explicit BufferSource(std::span<const std::uint8_t> data) : data_(data) {}

  bool isSequential() const override { return false; }
  qint64 size() const override { return static_cast<qint64>(data_.size()); }
  qint64 bytesAvailable() const override { return size() - pos() + QIODevice::bytesAvailable(); }

 protected:
  qint64 readData(char* out, qint64 maxSize) override {
    const qint64 left = size() - pos();
    const qint64 n = std::min(maxSize, std::max<qint64>(left, 0));
    if (n > 0) std::memcpy(out, data_.data() + pos(), static_cast<std::size_t>(n));
    return n;
  }
  qint64 writeData(const char*, qint64) override { return -1; }

 private:
  std::span<const std::uint8_t> data_;
};

// How long the sink may take beyond the sound itself to play its last part.
constexpr qint64 kDrainMarginMs = 4000;
constexpr int kDrainPollMs = 5;

}  // namespace

QtWaveOutput::QtWaveOutput(base::Prompt& prompt) : WaveOutput(prompt) {
  format_.setSampleRate(kWaveSamplesPerSecond);
  format_.setChannelCount(kWaveChannels);
  format_.setSampleFormat(QAudioFormat::UInt8);
}

QtWaveOutput::~QtWaveOutput() {
  close();
}

bool QtWaveOutput::formatSupported() {
  device_ = QMediaDevices::defaultAudioOutput();
  return !device_.isNull() && device_.isFormatSupported(format_);
}

bool QtWaveOutput::openDevice() {
  sink_ = std::make_unique<QAudioSink>(device_, format_);
  return sink_->error() == QAudio::NoError;
}

WaveWriteResult QtWaveOutput::writeBuffer(std::span<const std::uint8_t> data) {
  if (!sink_) return WaveWriteResult::kInvalidHandle;
  sink_->stop();
  auto source = std::make_unique<BufferSource>(data);
  source->open(QIODevice::ReadOnly | QIODevice::Unbuffered);
  sink_->start(source.get());
  source_ = std::move(source);
  switch (sink_->error()) {
    case QAudio::NoError:
    case QAudio::UnderrunError:
      return WaveWriteResult::kDone;
    case QAudio::OpenError:
      return WaveWriteResult::kNoDriver;
    case QAudio::IOError:
      return WaveWriteResult::kWriteFailed;
    case QAudio::FatalError:
      break;
  }
  return WaveWriteResult::kOtherPrepareError;
}

void QtWaveOutput::resetDevice() {
  if (sink_) {
    sink_->reset();
    sink_->stop();
  }
  source_.reset();
}

void QtWaveOutput::waitUntilPlayed() {
  if (!sink_ || !source_) return;
  // The sink reads its source from this thread's events and goes idle when the source is used
  // up; the sound server still holds up to a buffer of it then, which is played when the
  // sink's free space is the whole buffer again. Sound servers may lag by seconds.
  const qint64 left = source_->size() - source_->pos();
  const qint64 deadline = left * 1000 / kWaveSamplesPerSecond + kDrainMarginMs;
  QElapsedTimer waited;
  waited.start();
  while (waited.elapsed() < deadline) {
    const bool consumed = source_->atEnd() && sink_->state() != QAudio::ActiveState;
    if (consumed && sink_->bytesFree() >= sink_->bufferSize()) break;
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents, kDrainPollMs);
    QThread::msleep(kDrainPollMs);
  }
}

void QtWaveOutput::closeDevice() {
  sink_.reset();
  source_.reset();
}

}  // namespace parvolin::player::ui
