// The recordings: a call's file named at its first audio block, its audio written in whole
// blocks at least once a second, what a full disk does not take held and tried again, and the
// file closed (and converted) once everything is in it.

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <limits>

#include "base/audio_block.h"
#include "base/file_io.h"

#include "codec/call_wav.h"
#include "codec/lv_format.h"
#include "engine/engine.h"
#include "engine/recording_writes.h"

namespace parvolin::engine {
namespace {

// How far a new call's start may move forward to find a free file name.
constexpr int kMaxNameMoves = 86'400;

double blockSeconds(std::uint64_t blocks, int mode) {
  return double(blocks) * double(codec::samplesPerBlock(mode)) / double(codec::kSamplesPerSecond);
}

RecordingBlocks recordingBlocks(const std::string& file, int mode, std::uint64_t blocks) {
  return {file, blocks, blockSeconds(blocks, mode)};
}

}  // namespace

void Engine::onAudioBlock(int unit, int portIndex, std::span<const std::uint8_t> block,
                          std::int64_t now) {
  PortState& port = ports_[std::size_t(portIndex)];
  noteAudioBlock(port, now);
  if (!port.hasRecording()) nameAudioFile(unit, portIndex, now);
  if (port.audioFill == audioBufferSize_) {
    // The file did not take the full buffer; it is tried again once a period, not per block.
    if (clock_.monotonicMs() - port.audioWrittenAtMs >= kAudioWritePeriodMs) {
      writeBufferedAudio(port);
    }
    if (port.audioFill == audioBufferSize_) {
      ++port.audioLostBlocks;
      countLost(port.audioFileName, port.audioFileMode, 1);
      return;
    }
  }
  std::memcpy(port.audioBuffer.get() + port.audioFill, block.data(), block.size());
  port.audioFill += std::uint32_t(block.size());
  if (port.audioFill == audioBufferSize_) writeBufferedAudio(port);
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
  createAudioFile(port);
  const std::uint16_t elapsed = elapsedSeconds(now, port.record.startTime);
  port.record.firstAudioSec = elapsed == 0 ? 1 : elapsed;
}

bool Engine::createAudioFile(PortState& port) {
  CallRecord& record = port.record;
  std::error_code error;
  // Never replace a file: two calls on one port in the same second would otherwise share a
  // name, and the first call's row would link to the second call's audio.
  for (int move = 0;; ++move) {
    port.audioFileName = recordingFileName(record.startTime, record.portIndex, port.audioFileMode,
                                           port.audioFileIsWav);
    error = base::createExclusive(port.audioFolder / port.audioFileName, port.audioFile);
    if (error != std::errc::file_exists || move == kMaxNameMoves) break;
    ++record.startTime;
  }
  if (error) {
    failures_.report(port.audioFileName, FileFailure::kCreate,
                     base::describeFailure(port.audioFolder / port.audioFileName,
                                           "create the recording", error));
    return false;
  }
  failures_.worked(port.audioFileName, FileFailure::kCreate);
  return true;
}

bool Engine::writeBufferedAudio(PortState& port) {
  port.audioWrittenAtMs = clock_.monotonicMs();
  if (port.audioFill == 0) {
    port.audioWriteFailed = false;
    return true;
  }
  // A file that could not be made when the call began is tried again: the folder may have
  // become writable.
  if (!port.audioFile.isOpen() && !createAudioFile(port)) {
    port.audioWriteFailed = true;
    return false;
  }
  // Audio never takes the room the call log and the list need.
  const std::uint64_t room = std::min<std::uint64_t>(port.audioFill, audioRoom(port.audioFolder));
  BlockWrite write;
  if (room != 0) {
    write = appendWholeBlocks(port.audioFile.fd(), port.audioWritten,
                              {port.audioBuffer.get(), std::size_t(room)});
  }
  if (!write.error && write.bytes < port.audioFill) {
    write.error = std::make_error_code(std::errc::no_space_on_device);
  }
  port.audioWritten += write.bytes;
  if (write.bytes != 0 && write.bytes < port.audioFill) {
    std::memmove(port.audioBuffer.get(), port.audioBuffer.get() + write.bytes,
                 port.audioFill - write.bytes);
  }
  port.audioFill -= std::uint32_t(write.bytes);
  port.audioWriteFailed = port.audioFill != 0;
  if (write.error) {
    failures_.report(port.audioFileName, FileFailure::kWrite,
                     base::describeFailure(port.audioFolder / port.audioFileName,
                                           "write the recording", write.error));
  } else {
    failures_.worked(port.audioFileName, FileFailure::kWrite);
  }
  return port.audioFill == 0;
}

void Engine::closeAudioFile(PortState& port) {
  if (!port.audioFile.isOpen()) return;
  if (const std::error_code error = port.audioFile.close()) {
    failures_.report(
        port.audioFileName, FileFailure::kClose,
        base::describeFailure(port.audioFolder / port.audioFileName, "close the recording", error));
  }
  closeRecording(port.audioFolder, port.audioFileName, port.audioFileIsWav);
}

void Engine::closeRecording(const std::filesystem::path& folder, const std::string& name,
                            bool wav) {
  // The conversion writes the WAV file beside the recording and renames it over it, so it runs
  // on the closed file, once all of its audio is in it.
  if (!wav) return;
  if (codec::convertCallToWav(folder / name, settings_.davaLevel(), gain_, prompt_,
                              wavMemoryLimit_)) {
    failures_.worked(name, FileFailure::kConvert);
  } else {
    failures_.report(name, FileFailure::kConvert,
                     name + ": cannot convert to WAV; kept as recorded");
  }
}

void Engine::finishRecording(PortState& port, CallKept kept) {
  if (!port.hasRecording()) return;
  writeBufferedAudio(port);
  if (port.audioLostBlocks != 0) {
    char seconds[32];
    std::snprintf(seconds, sizeof seconds, " (%.1f s)",
                  blockSeconds(port.audioLostBlocks, port.audioFileMode));
    diagnostics_.report(port.audioFileName + ": " + std::to_string(port.audioLostBlocks) +
                        " audio blocks" + seconds +
                        " of the call were lost: the disk did not take them in time");
    port.audioLostBlocks = 0;
  }
  if (port.audioFill == 0 && port.audioWritten == 0 && port.audioFile.isOpen()) {
    // All of the call's audio was lost: no empty file is left to pass for its recording.
    [[maybe_unused]] const std::error_code closed = port.audioFile.close();
    std::error_code ignored;
    std::filesystem::remove(port.audioFolder / port.audioFileName, ignored);
    return;
  }
  if (port.audioFill == 0) {
    closeAudioFile(port);
    return;
  }
  // The file did not take everything: the rest is held and written on later ticks, so that the
  // port is free for the next call.
  const std::uint32_t fill = port.audioFill;
  port.audioFill = 0;
  bool made = port.audioFile.isOpen();
  if (made) {
    if (const std::error_code error = port.audioFile.close()) {
      failures_.report(port.audioFileName, FileFailure::kClose,
                       base::describeFailure(port.audioFolder / port.audioFileName,
                                             "close the recording", error));
    }
    // No audio of the call reached its file: an empty file would pass for a recording of
    // nothing. The file is made again when its audio is written; until then the call's record
    // and row name a recording that is not there (yet), and the summary names it.
    std::error_code ignored;
    if (port.audioWritten == 0 &&
        std::filesystem::remove(port.audioFolder / port.audioFileName, ignored)) {
      made = false;
    }
  }
  if (heldBytes_ + fill > kMaxHeldAudioBytes) {
    countLost(port.audioFileName, port.audioFileMode, fill / base::kAudioBlockSize);
    diagnostics_.report(port.audioFileName + ": " + std::to_string(fill / base::kAudioBlockSize) +
                        " audio blocks lost: too much audio waits for the disk");
    return;
  }
  HeldRecording held;
  held.folder = port.audioFolder;
  held.name = port.audioFileName;
  held.made = made;
  held.wav = port.audioFileIsWav;
  held.mode = port.audioFileMode;
  held.kept = kept;
  held.written = port.audioWritten;
  held.blocks.assign(port.audioBuffer.get(), port.audioBuffer.get() + fill);
  heldBytes_ += fill;
  held_.push_back(std::move(held));
}

void Engine::writeDueAudio() {
  const std::int64_t now = clock_.monotonicMs();
  for (PortState& port : ports_) {
    if (port.hasRecording() && port.audioFill != 0 &&
        now - port.audioWrittenAtMs >= kAudioWritePeriodMs) {
      writeBufferedAudio(port);
    }
  }
}

void Engine::retryHeldAudio() {
  bool counted = false;
  for (auto it = held_.begin(); it != held_.end();) {
    HeldRecording& held = *it;
    const std::uint64_t room = std::min<std::uint64_t>(held.blocks.size(), audioRoom(held.folder));
    // Above the reserve only: a disk at its reserve takes nothing of the next one either.
    if (room == 0) break;
    BlockWrite write = appendToRecordingFile(
        held.folder / held.name, held.made ? RecordingFile::kExists : RecordingFile::kCreate,
        held.written, {held.blocks.data(), std::size_t(room)});
    if (!write.error && write.bytes < held.blocks.size()) {
      write.error = std::make_error_code(std::errc::no_space_on_device);
    }
    held.made = held.made || write.opened;
    held.written += write.bytes;
    held.blocks.erase(held.blocks.begin(), held.blocks.begin() + std::ptrdiff_t(write.bytes));
    heldBytes_ -= write.bytes;
    if (held.kept == CallKept::kYes && counters_.loggedBlocks != -1 && write.bytes != 0) {
      counters_.loggedBlocks += std::int32_t(write.bytes / base::kAudioBlockSize);
      counted = true;
    }
    if (held.blocks.empty()) {
      failures_.worked(held.name, FileFailure::kWrite);
      closeRecording(held.folder, held.name, held.wav);
      it = held_.erase(it);
      continue;
    }
    failures_.report(
        held.name, FileFailure::kWrite,
        base::describeFailure(held.folder / held.name, "write the recording", write.error));
    if (!held.made && write.error == std::errc::file_exists) {
      // Someone else's file took the name: this audio has nowhere to go.
      countLost(held.name, held.mode, held.blocks.size() / base::kAudioBlockSize);
      heldBytes_ -= held.blocks.size();
      it = held_.erase(it);
      continue;
    }
    // A disk that took nothing of this one takes nothing of the next either.
    if (write.bytes == 0) break;
    ++it;
  }
  if (counted) showCounters();
}

void Engine::countLost(const std::string& file, int mode, std::uint64_t blocks) {
  RecordingBlocks& lost = lost_[file];
  lost.file = file;
  lost.blocks += blocks;
  lost.seconds = blockSeconds(lost.blocks, mode);
}

std::uint64_t Engine::audioRoom(const std::filesystem::path& folder) {
  diskCheckedAtMs_ = clock_.monotonicMs();
  const std::optional<std::uint64_t> free = base::freeBytes(folder);
  // A disk that cannot tell its free space is written as before.
  if (!free) return std::numeric_limits<std::uint64_t>::max();
  if (folder == folder_) watchDisk(*free);
  const DiskSpace now = *free <= kDiskReserveBytes   ? DiskSpace::kReserve
                        : *free <= kDiskWarningBytes ? DiskSpace::kLow
                                                     : DiskSpace::kEnough;
  if (now != diskSpace_ && folder == folder_) {
    constexpr std::uint64_t kMb = 1u << 20;
    char megabytes[32];
    std::snprintf(megabytes, sizeof megabytes, "%.1f MB", double(*free) / double(kMb));
    const std::string freeText = std::string(megabytes) + " free in " + folder.string();
    switch (now) {
      case DiskSpace::kLow:
        if (diskSpace_ == DiskSpace::kEnough) {
          diagnostics_.report("Disk nearly full: " + freeText + "; recording stops at " +
                              std::to_string(kDiskReserveBytes / kMb) + " MB");
        }
        break;
      case DiskSpace::kReserve:
        diagnostics_.report("Disk full: " + freeText +
                            "; no more audio is written, call records and list rows still are");
        break;
      case DiskSpace::kEnough:
        diagnostics_.report("Disk space available again: " + freeText);
        break;
    }
    diskSpace_ = now;
  }
  if (*free <= kDiskReserveBytes) return 0;
  const std::uint64_t room = *free - kDiskReserveBytes;
  return room - room % base::kAudioBlockSize;
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
  for (const HeldRecording& held : held_) {
    summary.held.push_back(
        recordingBlocks(held.name, held.mode, held.blocks.size() / base::kAudioBlockSize));
  }
  for (const auto& [file, lost] : lost_) summary.lost.push_back(lost);
  summary.logRecords = pendingLog_.size();
  summary.rows = listWriter_->failing() ? listWriter_->pendingRows() : 0;
  return summary;
}

}  // namespace parvolin::engine
