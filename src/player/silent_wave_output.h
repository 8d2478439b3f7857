#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "player/wave_output.h"

namespace parvolin::player {

// An output without sound that remembers what it was asked to do: the player's output in tests
// and benchmarks. It can stand for a machine without a sound device (`deviceAvailable` false:
// the format is refused) or one whose device fails (`openWorks`, `writeResult`).
class SilentWaveOutput final : public WaveOutput {
 public:
  explicit SilentWaveOutput(base::Prompt& prompt) : WaveOutput(prompt) {}
  ~SilentWaveOutput() override { close(); }

  bool deviceAvailable = true;
  bool openWorks = true;
  WaveWriteResult writeResult = WaveWriteResult::kDone;

  // Every device step in order: "query", "open", "write", "reset", "drain", "close".
  std::vector<std::string> steps;
  // The buffers handed over, in order.
  std::vector<std::span<const std::uint8_t>> written;

 protected:
  bool formatSupported() override {
    steps.push_back("query");
    return deviceAvailable;
  }
  bool openDevice() override {
    steps.push_back("open");
    return openWorks;
  }
  WaveWriteResult writeBuffer(std::span<const std::uint8_t> data) override {
    steps.push_back("write");
    if (writeResult == WaveWriteResult::kDone) written.push_back(data);
    return writeResult;
  }
  void resetDevice() override { steps.push_back("reset"); }
  void waitUntilPlayed() override { steps.push_back("drain"); }
  void closeDevice() override { steps.push_back("close"); }
};

}  // namespace parvolin::player
