#pragma once

#include <ctime>
#include <filesystem>
#include <istream>
#include <optional>
#include <ostream>
#include <string_view>

#include "base/folder_lock.h"
#include "tools/pvtool_commands.h"

namespace parvolin::tools {

// runList and runBatchWav with their streams given; `now` is the time whose local date the
// search takes when a date is not given. Exit status: 0 done, 1 failed (nothing or not all
// done), 2 usage error or a refused list. `terminal`, when not null, is where delete and
// delete-all read the answers to their questions; without it they need --yes.
[[nodiscard]] int runListWith(const Args& args, std::ostream& out, std::ostream& err,
                              std::time_t now, std::istream* terminal = nullptr);
[[nodiscard]] int runBatchWavWith(const Args& args, std::ostream& out, std::ostream& err,
                                  bool terminal);

}  // namespace parvolin::tools
