#pragma once

#include <ostream>

#include "tools/pvtool_commands.h"

namespace parvolin::tools {

// runConvert with its streams given: one line "FILE -> OUTPUT" per converted file on `out`,
// messages naming the file on `err`, and, when `terminal` is set, a progress line on `err` for
// long batches. Exit status: 0 when every file was converted, 1 when any failed, 2 for a usage
// error.
[[nodiscard]] int runConvertWith(const Args& args, std::ostream& out, std::ostream& err,
                                 bool terminal);

}  // namespace parvolin::tools
