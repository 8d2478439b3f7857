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
int runListWith(const Args& args, std::ostream& out, std::ostream& err, std::time_t now,
                std::istream* terminal = nullptr);
int runBatchWavWith(const Args& args, std::ostream& out, std::ostream& err, bool terminal);

// The lock of the folder a command writes in (a list's folder), held while the command runs.
// Nothing, with the reason written to `err` after "pvtool COMMAND: ", when another program (a
// recorder) holds the folder; a lock that cannot be made (a read-only folder) is only reported.
std::optional<base::FolderLock> holdFolder(const std::filesystem::path& folder,
                                           std::string_view command, std::ostream& err);

}  // namespace parvolin::tools
