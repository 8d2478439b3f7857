#pragma once

#include "app/headless.h"

namespace parvolin::app::ui {

// The recorder with its window, in the QApplication that exists: start-up, the window's
// opening (shown, or minimised with --minimized), then events until the window ends. SIGINT,
// SIGTERM and SIGHUP end every event loop (a modal dialog's too) and run the exit sequence
// without its question, as they do without a window. Returns the process's exit status.
int runWindowed(const HeadlessRun& run, UnitAccess& units);

}  // namespace parvolin::app::ui
