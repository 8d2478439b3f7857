// pvtool: the recorder's operations for scripts and for people at a terminal.

#include <iostream>
#include <string>
#include <vector>

#include "tools/pvtool_commands.h"

#ifdef PARVOLIN_WITH_SETTINGS_STORE
#include "settings/qt/qsettings_store.h"
#endif

int main(int argc, char** argv) {
  parvolin::tools::ToolContext context;
#ifdef PARVOLIN_WITH_SETTINGS_STORE
  // The recorder's own store, so that pvtool reads the settings exactly as the recorder does.
  context.openSettings = parvolin::settings::makeQSettingsStore;
#endif
  return parvolin::tools::runPvtool(parvolin::tools::Args(argv + 1, argv + argc), context,
                                    std::cout, std::cerr);
}
