#pragma once

// How a pvtool command gets at a recording folder: one pvtool run at a time (a second waits for
// the first), and beside a running recorder through its control socket.

#include <iosfwd>
#include <optional>
#include <string_view>

#include "base/file_io.h"
#include "base/folder_lock.h"
#include "control/client.h"

namespace parvolin::tools {

struct FolderAccess {
  bool usable = false;    // false: refused, the reason written
  base::FileHandle turn;  // this pvtool run's turn in the folder
  base::FolderLock lock;  // the folder's lock, when no recorder holds it
  // The recorder that holds the folder, when it serves a control socket.
  std::optional<control::ControlClient> recorder;
};

// Waits for the other pvtool runs on `folder` (saying so on `err` when it has to), then takes the
// folder's lock. When a recorder holds the folder and answers on its control socket, the command
// goes on beside it (`recorder` set); a folder held otherwise is refused as before, naming the
// holder.
[[nodiscard]] FolderAccess accessFolder(const std::filesystem::path& folder,
                                        std::string_view command, std::ostream& err);

}  // namespace parvolin::tools
