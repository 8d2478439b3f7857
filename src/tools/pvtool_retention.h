#pragma once

#include <ostream>

#include "tools/pvtool_commands.h"
#include "tools/pvtool_settings.h"

namespace parvolin::tools {

// pvtool retention with its settings store and streams given. Exit status: kExitOk done,
// kExitFailed the pass could not run or not wholly (the message said why), kExitUsage usage.
int runRetentionWith(const Args& args, const SettingsStoreOpener& openStore, std::ostream& out,
                     std::ostream& err);

}  // namespace parvolin::tools
