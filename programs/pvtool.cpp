// pvtool: the recorder's operations for scripts and for people at a terminal.

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "tools/pvtool_commands.h"

namespace {

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
    {nullptr, nullptr, nullptr},
};

void usage() {
  std::fprintf(stderr, "usage: pvtool COMMAND [ARGS...]\n\ncommands:\n");
  for (const Command& c : kCommands) {
    if (c.name) std::fprintf(stderr, "  %-10s %s\n", c.name, c.summary);
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
