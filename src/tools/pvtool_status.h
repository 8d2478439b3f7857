#pragma once

#include <ostream>
#include <string>

#include "control/status.h"
#include "tools/pvtool_commands.h"

namespace parvolin::tools {

// The status as `pvtool status` prints it; every text from the recorder shown escaped.
std::string statusText(const control::StatusSnapshot& status);
// runStatus's exit status: 0 shown, 1 no recorder or no answer, 2 usage.

}  // namespace parvolin::tools
