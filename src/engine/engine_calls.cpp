// The events that touch files: audio blocks and the three call ends.

#include <unistd.h>

#include <cstring>

#include "codec/call_wav.h"
#include "engine/call_log.h"
#include "engine/engine.h"

namespace parvolin::engine {
namespace {

// How far a new call's start may move forward to find a free file name.
constexpr int kMaxNameMoves = 86'400;

}  // namespace

void Engine::onAudioBlock(int unit, int portIndex, std::span<const std::uint8_t> block,
                          std::int64_t now) {
  PortState& port = ports_[std::size_t(portIndex)];
  noteAudioBlock(port, now);
  if (port.record.firstAudioSec == 0) createAudioFile(unit, portIndex, now);
  std::memcpy(port.audioBuffer.get() + port.audioFill, block.data(), block.size());
  port.audioFill += std::uint32_t(block.size());
  // The buffer goes to the file in one write of exactly its size.
  if (port.audioFill == kAudioBufferSize) writeBufferedAudio(port);
}

void Engine::createAudioFile(int unit, int portIndex, std::int64_t now) {
  PortState& port = ports_[std::size_t(portIndex)];
  CallRecord& record = port.record;
  const bool wav = settings_.has(kWavFormat);
  const int mode = audioMode(unit);
  std::string name;
  std::error_code error;
  // Never replace a file: two calls on one port in the same second would otherwise share a
  // name, and the first call's row would link to the second call's audio.
  for (int move = 0;; ++move) {
    name = recordingFileName(record.startTime, portIndex, mode, wav);
    error = base::createExclusive(folder_ / name, port.audioFile);
    if (error != std::errc::file_exists || move == kMaxNameMoves) break;
    ++record.startTime;
  }
  const std::uint16_t elapsed = elapsedSeconds(now, record.startTime);
  record.firstAudioSec = elapsed == 0 ? 1 : elapsed;
  port.audioFolder = folder_;
  port.audioFileName = name;
  port.audioFileIsWav = wav;
  port.audioFileMode = mode;
  port.audioWritten = 0;
  port.audioFill = 0;
  if (error) {
    failures_.report(name, FileFailure::kCreate,
                     base::describeFailure(folder_ / name, "create the recording", error));
  } else {
    failures_.worked(name, FileFailure::kCreate);
  }
}

void Engine::writeBufferedAudio(PortState& port) {
  const std::uint32_t fill = port.audioFill;
  port.audioFill = 0;
  if (fill == 0 || !port.audioFile.isOpen()) return;
  const std::error_code error = base::writeAll(port.audioFile.fd(), port.audioBuffer.get(), fill);
  if (error) {
    // Cut a part-written buffer back, so that the file still ends on a whole block.
    [[maybe_unused]] const int cut = ::ftruncate(port.audioFile.fd(), off_t(port.audioWritten));
    [[maybe_unused]] const off_t at =
        ::lseek(port.audioFile.fd(), off_t(port.audioWritten), SEEK_SET);
    failures_.report(
        port.audioFileName, FileFailure::kWrite,
        base::describeFailure(port.audioFolder / port.audioFileName, "write the recording", error));
    return;
  }
  port.audioWritten += fill;
  failures_.worked(port.audioFileName, FileFailure::kWrite);
}

void Engine::closeAudioFile(PortState& port) {
  if (!port.audioFile.isOpen()) return;
  const std::filesystem::path path = port.audioFolder / port.audioFileName;
  if (const std::error_code error = port.audioFile.close()) {
    failures_.report(port.audioFileName, FileFailure::kClose,
                     base::describeFailure(path, "close the recording", error));
  }
  // The conversion writes the WAV file beside the recording and renames it over it, so it runs
  // on the closed file.
  if (port.audioFileIsWav) {
    if (codec::convertCallToWav(path, settings_.davaLevel(), gain_, prompt_, wavMemoryLimit_)) {
      failures_.worked(port.audioFileName, FileFailure::kConvert);
    } else {
      failures_.report(port.audioFileName, FileFailure::kConvert,
                       port.audioFileName + ": cannot convert to WAV; kept as recorded");
    }
  }
}

void Engine::onCallEnd(int unit, int portIndex, std::span<const std::uint8_t> payload,
                       std::int64_t now) {
  PortState& port = ports_[std::size_t(portIndex)];
  CallRecord& record = port.record;
  // A repeated end of an answered call stays answered.
  const bool answered = isRecordingShown(port) || port.line == PortLine::kAnswered;
  port.line = answered ? PortLine::kAnswered : PortLine::kUnAnswered;
  if (record.callType == kCallAudioOnly) record.callType = kCallAnswered;
  if (record.callType != kCallIdle) {
    record.durationSec = elapsedSeconds(now, record.startTime);
    takeCallerNumber(record, payload);
    if (port.audioFile.isOpen()) {
      writeBufferedAudio(port);
      closeAudioFile(port);
    }
    keepCall(unit, port);
  }
  resetCall(port);
}

void Engine::onOutgoingEnd(int unit, int portIndex, std::uint8_t code,
                           std::span<const std::uint8_t> payload, std::int64_t now) {
  PortState& port = ports_[std::size_t(portIndex)];
  CallRecord& record = port.record;
  const bool outgoing = code == device::kCalloutEndEvent;
  port.line = outgoing ? PortLine::kCalloutFinished : PortLine::kVarFinished;
  if (record.callType == kCallAudioOnly) record.callType = outgoing ? kCallOutgoing : kCallVar;
  if (record.callType != kCallIdle) {
    record.durationSec = elapsedSeconds(now, record.startTime);
    takeDialledNumber(record, payload);
    // An outgoing or voice-activated call without an audio file leaves no trace.
    if (port.audioFile.isOpen()) {
      writeBufferedAudio(port);
      closeAudioFile(port);
      if (!settings_.has(kKeepShortCalls) &&
          isShortCall(code, record, now - std::int64_t(record.startTime), varOffDelay(unit))) {
        std::error_code error;
        std::filesystem::remove(port.audioFolder / port.audioFileName, error);
        if (error) {
          failures_.report(port.audioFileName, FileFailure::kDelete,
                           base::describeFailure(port.audioFolder / port.audioFileName,
                                                 "delete the short call", error));
        }
      } else {
        keepCall(unit, port);
      }
    }
  }
  resetCall(port);
}

void Engine::keepCall(int unit, const PortState& port) {
  const CallRecord& record = port.record;
  // The row links to, and the capacity counts, the file under the name it was created with.
  const bool hadFile = record.firstAudioSec != 0;
  const int mode = hadFile ? port.audioFileMode : audioMode(unit);
  const bool wav = hadFile ? port.audioFileIsWav : settings_.has(kWavFormat);

  pendingLog_.push_back(record);
  flushLog();
  // The row is written with the others of this tick when the unit passes are over: one rewrite
  // of the list, and one wait for the disk, however many calls end together.
  if (settings_.has(kHtmlListOn)) pendingRows_.push_back({record, mode, wav});
  showCapacity(updateCapacity(counters_, folder_, listPath(),
                              {settings_.itemLimit, settings_.spaceLimit},
                              KeptCall{record, mode, wav}, !pendingRows_.empty()));
}

void Engine::flushLog() {
  while (!pendingLog_.empty()) {
    const std::error_code error = appendCallLog(folder_, pendingLog_.front());
    if (error) {
      failures_.report(kCallLogName, FileFailure::kAppendLog,
                       base::describeFailure(folder_ / kCallLogName, "append the call", error));
      return;
    }
    failures_.worked(kCallLogName, FileFailure::kAppendLog);
    pendingLog_.pop_front();
  }
}

void Engine::flushRows() {
  if (pendingRows_.empty()) return;
  const std::error_code error = appendHtmlRows(listPath(), pendingRows_, counters_.rowCountCache);
  if (error) {
    failures_.report(settings_.lvLogHtmlName, FileFailure::kWriteList,
                     base::describeFailure(listPath(), "add the call", error));
    return;
  }
  failures_.worked(settings_.lvLogHtmlName, FileFailure::kWriteList);
  pendingRows_.clear();
  // As after every kept call whose row is written: the next row follows the items counted.
  if (counters_.loggedItems != -1) counters_.rowCountCache = counters_.loggedItems;
}

}  // namespace parvolin::engine
