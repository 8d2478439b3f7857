#pragma once

#include "base/clock.h"
#include "device/unit_link.h"
#include "engine/stream_capture.h"

namespace parvolin::tools {

// What the main window's opening leaves behind for each unit, for runs without a window.
struct UnitsSetUp {
  engine::CaptureHeader header;  // startEpoch, and per unit flags, AudioMode and VarOffDelay
  int pollPeriodMs = device::kPollPeriodWithoutUnitsMs;
};

// Opens the units and sets every present one up as the recorder's main window does: reads its
// audio mode, its version and its VAR turn-off delay, and starts its stream. A unit whose set-up
// fails stops the set-up there, as in the window. The header's startEpoch is the clock's now.
UnitsSetUp setUpUnits(device::UnitLink& link, base::Clock& clock);

}  // namespace parvolin::tools
