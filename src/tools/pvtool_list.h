#pragma once

#include <ctime>
#include <ostream>

#include "tools/pvtool_commands.h"

namespace parvolin::tools {

// runList and runBatchWav with their streams given; `now` is the time whose local date the
// search takes when a date is not given. Exit status: 0 done, 1 failed (nothing or not all
// done), 2 usage error.
int runListWith(const Args& args, std::ostream& out, std::ostream& err, std::time_t now);
int runBatchWavWith(const Args& args, std::ostream& out, std::ostream& err, bool terminal);

}  // namespace parvolin::tools
