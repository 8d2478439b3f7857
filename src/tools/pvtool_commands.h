#pragma once

#include <string>
#include <vector>

// The subcommands of pvtool. Each takes the arguments after its name and returns the process's
// exit status.
namespace parvolin::tools {

using Args = std::vector<std::string>;

// pvtool units: list the units and watch their streams.
int runUnits(const Args& args);
int runReplay(const Args& args);   // replay FILE --folder DIR --setting N [--html-name NAME]
int runCapture(const Args& args);  // capture FILE [--audio]
int runLog(const Args& args);      // log [FILE] [--csv|--json]
int runSim(const Args& args);      // sim SCENARIO -o FILE.pvcap [--seconds N]
// pvtool convert [--dava 1|2] [--raw16] [--force] [-o OUT] FILE...
int runConvert(const Args& args);
// pvtool list sort-port|sort-duration|search|edit|delete|delete-all LIST ...
int runList(const Args& args);
int runBatchWav(const Args& args);  // batch-wav LIST [--dava 1|2]
// unit-settings [--driver ...] [--simulate[=SCENARIO]] UNIT [NAME=VALUE...]
int runUnitSettings(const Args& args);

}  // namespace parvolin::tools
