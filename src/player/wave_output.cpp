#include "player/wave_output.h"

namespace parvolin::player {

std::string_view messageFor(WaveWriteResult result) {
  switch (result) {
    case WaveWriteResult::kDone:
      return {};
    case WaveWriteResult::kInvalidHandle:
      return kInvalidHandleText;
    case WaveWriteResult::kNoDriver:
      return kNoDriverText;
    case WaveWriteResult::kNoMemory:
      return kNoMemoryText;
    case WaveWriteResult::kOtherPrepareError:
      return kUnknownErrorText;
    case WaveWriteResult::kWriteFailed:
      return kPlayFailedText;
  }
  return kUnknownErrorText;
}

bool WaveOutput::open() {
  close();
  std::string_view failure;
  if (!formatSupported()) {
    failure = kFormatRefusedText;
  } else if (!openDevice()) {
    failure = kOpenFailedText;
  } else {
    open_ = true;
    return true;
  }
  prompt_.message(failure, base::PromptIcon::Exclamation);
  closeDevice();
  return false;
}

bool WaveOutput::play(std::span<const std::uint8_t> data) {
  if (!open_) return false;
  const WaveWriteResult result = writeBuffer(data);
  if (result == WaveWriteResult::kDone) return true;
  prompt_.message(messageFor(result), base::PromptIcon::Exclamation);
  close();
  return false;
}

void WaveOutput::stop() {
  if (open_) resetDevice();
}

void WaveOutput::close() {
  if (!open_) return;
  resetDevice();
  closeDevice();
  open_ = false;
}

void WaveOutput::drainAndClose() {
  if (!open_) return;
  waitUntilPlayed();
  close();
}

}  // namespace parvolin::player
