// The call ends: the recording finished, the call kept (log, list, capacity) or dropped.

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
    audio_.finish(port, CallKept::kYes);
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
      audio_.drop(port);
    } else if (port.hasRecording()) {
      audio_.finish(port, CallKept::kYes);
      keepCall(unit, port);
    }
  }
  resetCall(port);
}

void Engine::keepCall(int unit, const PortState& port) {
  const CallRecord& record = port.record;
  // The row links to, and the capacity counts, the file under the name it was created with.
  const bool hadFile = port.hasRecording();
  const int mode = hadFile ? port.audioFileMode : audioMode(unit);
  const bool wav = hadFile ? port.audioFileIsWav : settings_.has(kWavFormat);

  pendingLog_.add(record);
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
  if (pendingLog_.empty()) return;
  // A failure is reported by the log, and the records wait for the next try.
  if (pendingLog_.flush(folder_)) return;
  // The rows waiting for the list now count: their calls are in the log.
  if (listWriter_->pendingRows() != 0) showCounters();
}

}  // namespace parvolin::engine
