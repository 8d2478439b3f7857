// A call's audio in the engine: its file named at its first audio block, its blocks buffered
// per port and handed to the recordings' files at least once a second, or when the buffer is
// full; a full buffer turns blocks away as lost.

#include <cstring>

#include "base/audio_block.h"
#include "engine/engine.h"

namespace parvolin::engine {

void Engine::onAudioBlock(int unit, int portIndex, std::span<const std::uint8_t> block,
                          std::int64_t now) {
  PortState& port = ports_[std::size_t(portIndex)];
  noteAudioBlock(port, now);
  if (!port.hasRecording()) nameAudioFile(unit, portIndex, now);
  if (port.audioFill == audioBufferSize_) {
    // The file did not take the full buffer; it is tried again once a period, not per block.
    if (clock_.monotonicMs() - port.audioWrittenAtMs >= kAudioWritePeriodMs) {
      audio_.writeBuffered(port);
    }
    if (port.audioFill == audioBufferSize_) {
      ++port.audioLostBlocks;
      audio_.held().countLost(port.audioFileName, port.audioFileMode, 1);
      return;
    }
  }
  std::memcpy(port.audioBuffer.get() + port.audioFill, block.data(), block.size());
  port.audioFill += std::uint32_t(block.size());
  if (port.audioFill == audioBufferSize_) audio_.writeBuffered(port);
}

void Engine::nameAudioFile(int unit, int portIndex, std::int64_t now) {
  PortState& port = ports_[std::size_t(portIndex)];
  port.audioFolder = folder_;
  port.audioFileIsWav = settings_.has(kWavFormat);
  port.audioFileMode = audioMode(unit);
  port.audioWritten = 0;
  port.audioFill = 0;
  port.audioWriteFailed = false;
  port.audioWrittenAtMs = clock_.monotonicMs();
  // A file that cannot be made now (the failure is reported) is tried again at every write.
  [[maybe_unused]] const bool created = audio_.create(port);
  const std::uint16_t elapsed = elapsedSeconds(now, port.record.startTime);
  port.record.firstAudioSec = elapsed == 0 ? 1 : elapsed;
}

void Engine::writeDueAudio() {
  const std::int64_t now = clock_.monotonicMs();
  for (PortState& port : ports_) {
    if (port.hasRecording() && port.audioFill != 0 &&
        now - port.audioWrittenAtMs >= kAudioWritePeriodMs) {
      audio_.writeBuffered(port);
    }
  }
}

void Engine::retryHeldAudio(bool whenDue) {
  const std::uint64_t keptBlocks = audio_.retryHeld(whenDue);
  if (keptBlocks != 0 && counters_.loggedBlocks != -1) {
    counters_.loggedBlocks += std::int32_t(keptBlocks);
    showCounters();
  }
}

UnwrittenSummary Engine::unwritten() const {
  UnwrittenSummary summary;
  // What is on its way to the disk is not missing: a call's buffered audio goes to its file
  // within a second, and the list's waiting rows at its next rewrite (finishRun writes both).
  // Only what the disk does not take counts: buffered audio whose last write did not go through
  // (the reserve, a failing file), and rows whose rewrite failed.
  for (const PortState& port : ports_) {
    if (port.audioWriteFailed && port.hasRecording() && port.audioFill != 0) {
      summary.held.push_back(recordingBlocks(port.audioFileName, port.audioFileMode,
                                             port.audioFill / base::kAudioBlockSize));
    }
  }
  audio_.held().addTo(summary);
  summary.logRecords = pendingLog_.size();
  summary.rows = listWriter_->failing() ? listWriter_->pendingRows() : 0;
  return summary;
}

}  // namespace parvolin::engine
