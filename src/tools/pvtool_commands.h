#pragma once

#include <string>
#include <vector>

// The subcommands of pvtool. Each takes the arguments after its name and returns the process's
// exit status.
namespace parvolin::tools {

using Args = std::vector<std::string>;

// pvtool units: list the units and watch their streams.
int runUnits(const Args& args);

}  // namespace parvolin::tools
