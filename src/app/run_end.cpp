#include "app/run_end.h"

#include <string>
#include <vector>

#include "app/headless.h"

namespace parvolin::app {

int finish(const Recorder& recorder, base::Diagnostics& diagnostics) {
  const std::vector<std::string> unwritten = recorder.unwrittenReport();
  for (const std::string& line : unwritten) diagnostics.report(line);
  return unwritten.empty() ? kExitStopped : kExitUnwritten;
}

}  // namespace parvolin::app
