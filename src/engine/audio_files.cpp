#include "engine/audio_files.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "base/audio_block.h"
#include "base/file_io.h"
#include "codec/call_wav.h"
#include "engine/recording_files.h"
#include "engine/recording_writes.h"

namespace parvolin::engine {
namespace {

// How far a new call's start may move forward to find a free file name.
constexpr int kMaxNameMoves = 86'400;

}  // namespace

AudioFiles::AudioFiles(const std::filesystem::path& recordingFolder, base::Clock& clock,
                       RecorderSettings& settings, base::Prompt& prompt,
                       base::Diagnostics& diagnostics, DiagnosticOnce& failures)
    : clock_(clock),
      settings_(settings),
      prompt_(prompt),
      diagnostics_(diagnostics),
      failures_(failures),
      disk_(recordingFolder, clock, diagnostics),
      held_(disk_, failures) {}

bool AudioFiles::create(PortState& port) {
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

void AudioFiles::writeBuffered(PortState& port) {
  port.audioWrittenAtMs = clock_.monotonicMs();
  if (port.audioFill == 0) {
    port.audioWriteFailed = false;
    return;
  }
  // A file that could not be made when the call began is tried again: the folder may have
  // become writable.
  if (!port.audioFile.isOpen() && !create(port)) {
    port.audioWriteFailed = true;
    return;
  }
  // Audio never takes the room the call log and the list need.
  const std::uint64_t room =
      std::min<std::uint64_t>(port.audioFill, disk_.audioRoom(port.audioFolder));
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
}

void AudioFiles::closeFile(PortState& port) {
  if (!port.audioFile.isOpen()) return;
  if (const std::error_code error = port.audioFile.close()) {
    failures_.report(
        port.audioFileName, FileFailure::kClose,
        base::describeFailure(port.audioFolder / port.audioFileName, "close the recording", error));
  }
  convert(port.audioFolder, port.audioFileName, port.audioFileIsWav);
}

void AudioFiles::convert(const std::filesystem::path& folder, const std::string& name, bool wav) {
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

void AudioFiles::finish(PortState& port, CallKept kept) {
  if (!port.hasRecording()) return;
  writeBuffered(port);
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
    closeFile(port);
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
  HeldRecording held;
  held.folder = port.audioFolder;
  held.name = port.audioFileName;
  held.made = made;
  held.wav = port.audioFileIsWav;
  held.mode = port.audioFileMode;
  held.kept = kept;
  held.written = port.audioWritten;
  held.blocks.assign(port.audioBuffer.get(), port.audioBuffer.get() + fill);
  if (!held_.hold(std::move(held))) {
    diagnostics_.report(port.audioFileName + ": " + std::to_string(fill / base::kAudioBlockSize) +
                        " audio blocks lost: too much audio waits for the disk");
  }
}

void AudioFiles::drop(PortState& port) {
  // Nothing of a dropped call is kept: what waits in the buffer is not written at all. Its audio
  // still moves the WAV conversion's gain level on, as its conversion would have.
  if (port.audioFileIsWav) passThroughGain(port);
  port.audioFill = 0;
  port.audioFile.close();
  held_.forgetLost(port.audioFileName);
  std::error_code error;
  std::filesystem::remove(port.audioFolder / port.audioFileName, error);
  if (error) {
    failures_.report(port.audioFileName, FileFailure::kDelete,
                     base::describeFailure(port.audioFolder / port.audioFileName,
                                           "delete the short call", error));
  }
}

void AudioFiles::passThroughGain(const PortState& port) {
  const int level = settings_.davaLevel();
  if (level == codec::kDavaNone) return;
  std::string codes;
  if (port.audioWritten != 0) {
    const std::error_code error = base::readWholeFile(port.audioFolder / port.audioFileName, codes);
    if (error) codes.clear();
    codes.resize(std::min<std::size_t>(codes.size(), port.audioWritten));
  }
  codes.append(reinterpret_cast<const char*>(port.audioBuffer.get()), port.audioFill);
  if (codes.size() > wavMemoryLimit_ / 2) return;  // the conversion would not have had the memory
  codec::passCallThroughDava({reinterpret_cast<const std::uint8_t*>(codes.data()), codes.size()},
                             level, gain_);
}

std::uint64_t AudioFiles::retryHeld(bool whenDue) {
  const auto completed = [this](const HeldRecording& held) {
    convert(held.folder, held.name, held.wav);
  };
  return whenDue ? held_.retryWhenDue(clock_.monotonicMs(), kAudioWritePeriodMs, completed)
                 : held_.retry(completed);
}

}  // namespace parvolin::engine
