#include "engine/held_audio.h"

#include <algorithm>

#include "base/audio_block.h"
#include "base/file_io.h"
#include "engine/recording_writes.h"

namespace parvolin::engine {

bool HeldAudio::hold(HeldRecording recording) {
  const std::size_t size = recording.blocks.size();
  if (bytes_ + size > kMaxHeldAudioBytes) {
    countLost(recording.name, recording.mode, size / base::kAudioBlockSize);
    return false;
  }
  bytes_ += size;
  held_.push_back(std::move(recording));
  return true;
}

void HeldAudio::countLost(const std::string& file, int mode, std::uint64_t blocks) {
  RecordingBlocks& lost = lost_[file];
  lost.file = file;
  lost.blocks += blocks;
  lost.seconds = blockSeconds(lost.blocks, mode);
}

std::uint64_t HeldAudio::retryWhenDue(std::int64_t nowMs, std::int64_t periodMs,
                                      const Completed& completed) {
  if (held_.empty() || nowMs - triedAtMs_ < periodMs) return 0;
  triedAtMs_ = nowMs;
  return retry(completed);
}

std::uint64_t HeldAudio::retry(const Completed& completed) {
  std::uint64_t keptBlocks = 0;
  for (auto it = held_.begin(); it != held_.end();) {
    HeldRecording& held = *it;
    const std::uint64_t room =
        std::min<std::uint64_t>(held.blocks.size(), disk_.audioRoom(held.folder));
    // Above the reserve only: a disk at its reserve takes nothing of the next one either.
    if (room == 0) break;
    BlockWrite write = appendToRecordingFile(
        held.folder / held.name, held.made ? RecordingFile::kExists : RecordingFile::kCreate,
        held.written, {held.blocks.data(), static_cast<std::size_t>(room)});
    if (!write.error && write.bytes < held.blocks.size()) {
      write.error = std::make_error_code(std::errc::no_space_on_device);
    }
    held.made = held.made || write.opened;
    held.written += write.bytes;
    held.blocks.erase(held.blocks.begin(),
                      held.blocks.begin() + static_cast<std::ptrdiff_t>(write.bytes));
    bytes_ -= write.bytes;
    if (held.kept == CallKept::kYes) keptBlocks += write.bytes / base::kAudioBlockSize;
    if (held.blocks.empty()) {
      failures_.worked(held.name, FileFailure::kWrite);
      if (completed) completed(held);
      it = held_.erase(it);
      continue;
    }
    failures_.report(
        held.name, FileFailure::kWrite,
        base::describeFailure(held.folder / held.name, "write the recording", write.error));
    if (!held.made && write.error == std::errc::file_exists) {
      // Someone else's file took the name: this audio has nowhere to go.
      countLost(held.name, held.mode, held.blocks.size() / base::kAudioBlockSize);
      bytes_ -= held.blocks.size();
      it = held_.erase(it);
      continue;
    }
    // A disk that took nothing of this one takes nothing of the next either.
    if (write.bytes == 0) break;
    ++it;
  }
  return keptBlocks;
}

void HeldAudio::addTo(UnwrittenSummary& summary) const {
  for (const HeldRecording& held : held_) {
    summary.held.push_back(
        recordingBlocks(held.name, held.mode, held.blocks.size() / base::kAudioBlockSize));
  }
  for (const auto& [file, lost] : lost_) summary.lost.push_back(lost);
}

}  // namespace parvolin::engine
