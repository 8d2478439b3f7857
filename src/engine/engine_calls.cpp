// The call ends: the recording finished, the call kept (log, list, capacity) or dropped.

#include <algorithm>

#include "codec/call_wav.h"
#include "engine/call_log.h"
#include "engine/engine.h"

namespace parvolin::engine {

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
    finishRecording(port, CallKept::kYes);
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
    // An outgoing or voice-activated call without audio leaves no trace.
    if (port.hasRecording() && !settings_.has(kKeepShortCalls) &&
        isShortCall(code, record, now - std::int64_t(record.startTime), varOffDelay(unit))) {
      // Nothing of a dropped call is kept: what waits in the buffer is not written at all. Its
      // audio still moves the WAV conversion's gain level on, as its conversion would have.
      if (port.audioFileIsWav) passThroughGain(port);
      port.audioFill = 0;
      port.audioFile.close();
      lost_.erase(port.audioFileName);
      std::error_code error;
      std::filesystem::remove(port.audioFolder / port.audioFileName, error);
      if (error) {
        failures_.report(port.audioFileName, FileFailure::kDelete,
                         base::describeFailure(port.audioFolder / port.audioFileName,
                                               "delete the short call", error));
      }
    } else if (port.hasRecording()) {
      finishRecording(port, CallKept::kYes);
      keepCall(unit, port);
    }
  }
  resetCall(port);
}

void Engine::passThroughGain(const PortState& port) {
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

void Engine::keepCall(int unit, const PortState& port) {
  const CallRecord& record = port.record;
  // The row links to, and the capacity counts, the file under the name it was created with.
  const bool hadFile = port.hasRecording();
  const int mode = hadFile ? port.audioFileMode : audioMode(unit);
  const bool wav = hadFile ? port.audioFileIsWav : settings_.has(kWavFormat);

  pendingLog_.push_back(record);
  flushLog();
  const bool itemsKnown = counters_.loggedItems != -1;
  // The row is numbered now, as a rewrite of the list at this moment would number it, and
  // handed to the list writer, which puts it in the file when its rewrite is due.
  if (settings_.has(kHtmlListOn)) {
    followListPath();
    const int item = nextItemNumber();
    counters_.rowCountCache = item;
    listWriter_->add(htmlRow(record, mode, wav, item), clock_.monotonicMs());
  }
  updateCapacity(counters_, folder_, listPath(), {settings_.itemLimit, settings_.spaceLimit},
                 KeptCall{record, mode, wav}, true);
  // A count read from the file misses the rows that still wait for it.
  if (!itemsKnown) counters_.loggedItems += std::int32_t(listWriter_->pendingRows());
  counters_.rowCountCache = counters_.loggedItems;
  showCounters();
  noteCallKeptForRetention(record.startTime);
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
    // The rows waiting for the list now count: their calls are in the log.
    if (pendingLog_.empty() && listWriter_->pendingRows() != 0) showCounters();
  }
}

}  // namespace parvolin::engine
