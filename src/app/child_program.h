#pragma once

#include <sys/types.h>

#include <chrono>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace parvolin::app {

// A program the recorder runs beside itself for as long as it runs (the web server lvsvr): the
// child is asked to stop (SIGTERM) when this object goes, and the kernel sends it SIGTERM
// should the recorder die without a word (PR_SET_PDEATHSIG).
class ChildProgram {
 public:
  ChildProgram() = default;
  ~ChildProgram() { stop(); }
  ChildProgram(const ChildProgram&) = delete;
  ChildProgram& operator=(const ChildProgram&) = delete;

  // Starts `program` (a path) with `args`, its standard input /dev/null and both its outputs on
  // our standard error.
  // False, with `why`, when it cannot be started.
  [[nodiscard]] bool start(const std::filesystem::path& program,
                           const std::vector<std::string>& args, std::string& why);
  // SIGTERM, then SIGKILL when it has not ended within `grace`; waits for it.
  void stop(std::chrono::milliseconds grace = std::chrono::seconds(5));
  std::optional<pid_t> pid() const { return pid_; }

 private:
  std::optional<pid_t> pid_;
};

}  // namespace parvolin::app
