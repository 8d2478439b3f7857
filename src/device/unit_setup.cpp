// The sequences of unit commands that the recorder, the tools and the configuration pages share:
// stopping and restarting a unit's stream, and setting a unit up for recording.
#include "device/unit_link.h"
#include "device/unit_protocol.h"

namespace parvolin::device {

void UnitLink::stopStream(int unit) {
  // The value read counts whatever the acknowledge byte: a unit that answers with a bad one
  // still gets the stop.
  const CommandReply running = readStreamControl(unit);
  if (running.value.value_or(protocol::kStreamStop) != protocol::kStreamStop) {
    writeStreamControl(protocol::kStreamStop, unit);
  }
}

bool UnitLink::restartStream(int unit) {
  stopStream(unit);
  return bool(writeStreamControl(protocol::kStreamStart, unit));
}

UnitSetUp UnitLink::setUpUnit(int unit) {
  UnitSetUp setUp;
  const CommandReply mode = readRegister(Register::kEncoderMode, unit);
  if (!mode) {
    setUp.failure = SetUpFailure::kEncoderMode;
    return setUp;
  }
  setUp.audioMode = *mode;

  const std::optional<VersionAnswer> version = queryVersion(unit);
  if (!version || (*version)[0] != protocol::kAck) {
    setUp.failure = SetUpFailure::kVersion;
    return setUp;
  }

  const CommandReply delay = readRegister(Register::kVarTurnOffDelay, unit);
  if (!delay) {
    setUp.failure = SetUpFailure::kTurnOffDelay;
    return setUp;
  }
  setUp.varOffDelaySec = protocol::varOffDelaySeconds(*delay);

  // The results of the stream commands are not checked: a unit that does not stream shows up as
  // a lost unit on the next tick.
  restartStream(unit);
  return setUp;
}

}  // namespace parvolin::device
