// pvtool: the recorder's operations for scripts and for people at a terminal.

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "tools/pvtool_commands.h"
#include "tools/pvtool_settings.h"
#ifdef PARVOLIN_QSETTINGS
#include "app/ui/qsettings_store.h"
#endif

namespace {

// The recorder's settings store is Qt's; without Qt there is none to show.
int runSettings(const parvolin::tools::Args& args) {
#ifdef PARVOLIN_QSETTINGS
  return parvolin::tools::runSettings(args, parvolin::app::makeQSettingsStore);
#else
  (void)args;
  std::fprintf(stderr,
               "pvtool settings: this pvtool was built without Qt, whose settings store "
               "the recorder uses\n");
  return 1;
#endif
}

struct Command {
  const char* name;
  int (*run)(const parvolin::tools::Args&);
  const char* summary;
};

const Command kCommands[] = {
    {"units", parvolin::tools::runUnits, "list the recorder units and watch their streams"},
    {"replay", parvolin::tools::runReplay, "replay a stream capture into a recording folder"},
    {"capture", parvolin::tools::runCapture, "show what a stream capture holds"},
    {"log", parvolin::tools::runLog, "print the call log (text, --csv or --json)"},
    {"sim", parvolin::tools::runSim, "write a stream capture from emulated units"},
    {"convert", parvolin::tools::runConvert, "decode LV recordings into WAV files or raw 16-bit"},
    {"list", parvolin::tools::runList, "sort, search, edit or delete calls of an HTML call list"},
    {"batch-wav", parvolin::tools::runBatchWav, "convert the calls of a list into a WaveFolder"},
    {"settings", runSettings, "show or change the recorder's software settings"},
    {"unit-settings", parvolin::tools::runUnitSettings,
     "show or write a unit's VAR, caller-ID and audio mode settings"},
    {nullptr, nullptr, nullptr},
};

void usage() {
  std::fprintf(stderr, "usage: pvtool COMMAND [ARGS...]\n\ncommands:\n");
  for (const Command& c : kCommands) {
    if (c.name) std::fprintf(stderr, "  %-13s %s\n", c.name, c.summary);
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2 || std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0) {
    usage();
    return argc < 2 ? 2 : 0;
  }
  for (const Command& c : kCommands) {
    if (c.name && std::strcmp(argv[1], c.name) == 0) {
      return c.run(parvolin::tools::Args(argv + 2, argv + argc));
    }
  }
  std::fprintf(stderr, "pvtool: unknown command '%s'\n", argv[1]);
  usage();
  return 2;
}
