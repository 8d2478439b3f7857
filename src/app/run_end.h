#pragma once

#include "app/recorder.h"
#include "base/diagnostics.h"

namespace parvolin::app {

// The end both front ends share, once the run is over (after the exit sequence, or the window's
// immediate close): what the run recorded but could not write (Recorder::unwrittenReport) is
// reported line by line through `diagnostics`, and the process's exit status returned:
// kExitStopped when everything reached the disk, kExitUnwritten when anything did not.
[[nodiscard]] int finish(const Recorder& recorder, base::Diagnostics& diagnostics);

}  // namespace parvolin::app
