#pragma once

#include <QAudioDevice>
#include <QAudioFormat>
#include <memory>

#include "player/wave_output.h"

class QAudioSink;
class QIODevice;

namespace parvolin::player::ui {

// The player's sound through Qt Multimedia: the default output device, 8000 samples per
// second, one channel, unsigned 8-bit. The sink pulls the buffer it was given as it plays.
class QtWaveOutput final : public WaveOutput {
 public:
  explicit QtWaveOutput(base::Prompt& prompt);
  ~QtWaveOutput() override;

 protected:
  bool formatSupported() override;
  bool openDevice() override;
  WaveWriteResult writeBuffer(std::span<const std::uint8_t> data) override;
  void resetDevice() override;
  void waitUntilPlayed() override;
  void closeDevice() override;

 private:
  QAudioFormat format_;
  QAudioDevice device_;
  std::unique_ptr<QAudioSink> sink_;
  std::unique_ptr<QIODevice> source_;
};

}  // namespace parvolin::player::ui
