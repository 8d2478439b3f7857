#pragma once

#include <sys/types.h>
#include <optional>
#include <string>
#include <vector>

namespace parvolin::app {

// Starts `program` (looked up in PATH when it has no slash) with `args`, directly and never
// through a shell. The child reads from /dev/null and writes its output to our standard error.
// Returns the child's id, or nothing when it could not be started.
std::optional<pid_t> spawnProgram(const std::string& program, const std::vector<std::string>& args);

// Waits for a started child; returns its exit status, or -1 when it did not exit normally.
int waitForChild(pid_t child);

}  // namespace parvolin::app
