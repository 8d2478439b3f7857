#pragma once

#include <string>
#include <vector>

// The subcommands of pvtool. Each takes the arguments after its name and returns the process's
// exit status.
namespace parvolin::tools {

using Args = std::vector<std::string>;

// pvtool convert [--dava 1|2] [--raw16] [--force] [-o OUT] FILE...
int runConvert(const Args& args);

}  // namespace parvolin::tools
