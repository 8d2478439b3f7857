// The stream watch: a unit that was reset while it stayed attached stops streaming without any
// error, and a unit that is lost for good leaves its calls hanging. Both are noticed here; the
// calls they cut off are ended so that their audio reaches its file and the ports are free.

#include <cstdio>

#include "engine/engine.h"

namespace parvolin::engine {
namespace {

std::string portText(int portIndex) {
  return "Port " + std::to_string(portIndex + 1);
}

}  // namespace

void Engine::watchStream(int unit) {
  if (unit >= 0 && unit < device::kMaxUnits) watch_[std::size_t(unit)].streaming = true;
}

void Engine::watchUnit(int unit, bool reopened, bool gotBytes) {
  UnitWatch& watch = watch_[std::size_t(unit)];
  const std::int64_t now = clock_.monotonicMs();
  if (gotBytes || watch.quietSinceMs < 0) watch.quietSinceMs = now;
  if (reopened) {
    // The unit went away and came back: it starts afresh, and a call it was in is over.
    watch.lostSinceMs = -1;
    watch.quietSinceMs = now;
    watch.streaming = true;
    cutOffCalls(unit, CutOff::kReopened);
    return;
  }
  if (!units_.isPresent(unit)) {
    if (watch.lostSinceMs < 0) {
      watch.lostSinceMs = now;
    } else if (now - watch.lostSinceMs >= kLostUnitCallsMs) {
      cutOffCalls(unit, CutOff::kGone);
    }
    return;
  }
  watch.lostSinceMs = -1;
  if (!watch.streaming) return;
  bool recording = false;
  for (int p = 0; p < device::kPortsPerUnit; ++p) {
    recording = recording || ports_[std::size_t(unit * device::kPortsPerUnit + p)].hasRecording();
  }
  // A port in a recorded call sends audio all the time, so a unit that has said nothing for a
  // few seconds then has nothing queued either: its command answer cannot take the place of
  // stream bytes.
  if (now - watch.quietSinceMs < (recording ? kStalledStreamMs : kIdleStreamCheckMs)) return;
  watch.quietSinceMs = now;
  const std::optional<std::uint8_t> control = units_.readStreamControl(unit);
  // No answer: a unit that is gone shows up as a failed read on the next tick.
  if (!control || *control != 0) return;
  char text[96];
  std::snprintf(text, sizeof text,
                "Unit%d: had stopped streaming (it was reset); stream started again", unit + 1);
  diagnostics_.report(text);
  cutOffCalls(unit, CutOff::kReset);
  units_.restartStream(unit);
  // Whatever part record waited is from before the reset.
  streams_[std::size_t(unit)]->writePos = 0;
}

void Engine::cutOffCalls(int unit, CutOff why) {
  const char* reason = why == CutOff::kReset      ? "was reset"
                       : why == CutOff::kReopened ? "was lost and has been opened again"
                                                  : "has been lost for 30 s";
  for (int p = 0; p < device::kPortsPerUnit; ++p) {
    const int portIndex = unit * device::kPortsPerUnit + p;
    PortState& port = ports_[std::size_t(portIndex)];
    if (port.record.callType == kCallIdle) continue;
    std::string text =
        portText(portIndex) + ": call cut off: Unit" + std::to_string(unit + 1) + " " + reason;
    if (port.hasRecording()) {
      // Ended as the exit ends a call in progress: its audio written and closed, not logged.
      text += "; its recording " + port.audioFileName +
              " is closed and not in the call log or the list";
      finishRecording(port, CallKept::kNo);
    }
    diagnostics_.report(text);
    resetCall(port);
    port.line = why == CutOff::kGone ? PortLine::kNone : PortLine::kIdle;
    port.detailText.clear();
  }
}

}  // namespace parvolin::engine
