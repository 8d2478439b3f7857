#pragma once

#include <filesystem>
#include <ostream>
#include <string>

#include "engine/recorder_settings.h"
#include "tools/pvtool_commands.h"

namespace parvolin::tools {

struct RecoverOptions {
  std::filesystem::path folder;
  std::string listName = engine::RecorderSettings().lvLogHtmlName;
  bool dryRun = false;
  bool rebuildList = false;
  bool wavFormat = false;
};

// pvtool recover with its streams. Exit status: 0 done (or nothing to do), 1 the folder could not
// be used or a file not read or written, 2 usage, 4 the list is no call list and was left alone.
[[nodiscard]] int runRecover(const Args& args, std::ostream& out, std::ostream& err);

}  // namespace parvolin::tools
