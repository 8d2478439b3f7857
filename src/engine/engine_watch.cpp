// The stream watch's verdicts carried out: the calls of a unit that was reset, that was lost and
// came back, or that has been lost for good are ended, so that their audio reaches its file and
// the ports are free.

#include "engine/engine.h"

namespace parvolin::engine {
namespace {

std::string portText(int portIndex) {
  return "Port " + std::to_string(portIndex + 1);
}

}  // namespace

bool Engine::inRecordedCall(int unit) const {
  bool recording = false;
  for (int p = 0; p < device::kPortsPerUnit; ++p) {
    recording = recording || ports_[std::size_t(unit * device::kPortsPerUnit + p)].hasRecording();
  }
  return recording;
}

void Engine::cutOffCalls(int unit, CutOff why) {
  for (int p = 0; p < device::kPortsPerUnit; ++p) {
    const int portIndex = unit * device::kPortsPerUnit + p;
    PortState& port = ports_[std::size_t(portIndex)];
    if (port.record.callType == kCallIdle) continue;
    std::string text = portText(portIndex) + ": call cut off: Unit" + std::to_string(unit + 1) +
                       " " + cutOffReason(why);
    if (port.hasRecording()) {
      // Ended as the exit ends a call in progress: its audio written and closed, not logged.
      text += "; its recording " + port.audioFileName +
              " is closed and not in the call log or the list";
      audio_.finish(port, CallKept::kNo);
    }
    diagnostics_.report(text);
    resetCall(port);
    port.line = why == CutOff::kGone ? PortLine::kNone : PortLine::kIdle;
    port.detailText.clear();
  }
}

}  // namespace parvolin::engine
