#pragma once

#include "base/clock.h"
#include "device/unit_link.h"
#include "engine/stream_capture.h"

namespace parvolin::tools {

// What the main window's opening leaves behind for each unit, for runs without a window.
struct UnitsSetUp {
  engine::CaptureHeader header;  // startEpoch, and per unit flags, AudioMode and VarOffDelay
  int pollPeriodMs = 500;
};

// Opens the units and sets every present one up as the recorder's main window does: reads its
// audio mode, its version and its VAR turn-off delay, and starts its stream. A unit whose set-up
// fails stops the set-up there, as in the window. The header's startEpoch is the clock's now.
UnitsSetUp setUpUnits(device::UnitLink& link, base::Clock& clock);

// VarOffDelay for a turn-off delay code: 4, 12, 32 or 100 seconds; an invalid code counts as
// index 1; `previous` when the index maps to no delay.
int varOffDelayFor(std::uint8_t code, int previous);

}  // namespace parvolin::tools
