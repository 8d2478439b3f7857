#pragma once

#include <ostream>
#include <string>
#include <string_view>

// What every pvtool command does alike with its command line and its output.
namespace parvolin::tools {

// A command line the command refuses: "pvtool COMMAND: PROBLEM", then the command's help, on
// `err`. Returns the exit status for it (kExitUsage).
[[nodiscard]] int usageError(std::ostream& err, std::string_view command, std::string_view help,
                             std::string_view problem);

// printf's formatting into a string, for the columns and numbers of the commands' output.
std::string formatted(const char* format, ...) __attribute__((format(printf, 1, 2)));

}  // namespace parvolin::tools
