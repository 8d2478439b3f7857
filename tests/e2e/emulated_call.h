#pragma once

#include <filesystem>
#include <fstream>
#include <string>

#include "e2e/desktop_session.h"

namespace parvolin::e2e {

// Runs the recorder on emulated units through `scenario` (at full speed) in `work`, with a
// home, settings and file associations of its own there, and returns the first recording it
// made with `extension` (".LV1"), or an empty path.
inline std::filesystem::path recordEmulatedCall(const std::filesystem::path& work,
                                                const std::string& scenario,
                                                const std::string& extension) {
  std::filesystem::create_directories(work);
  std::ofstream(work / "call.scn") << scenario;
  const auto recorder = std::filesystem::path(PARVOLIN_BINARY_DIR) / "programs" / "parvolin";
  const auto result = runCommand(recorder.string(),
                                 {"--headless", "--simulate=call.scn", "--virtual", "--config",
                                  "Parvolin.conf", "--folder", "rec"},
                                 {{"HOME", work.string()},
                                  {"XDG_DATA_HOME", (work / "data").string()},
                                  {"XDG_CONFIG_HOME", (work / "config").string()},
                                  {"DISPLAY", ""}},
                                 work, std::chrono::seconds(120));
  if (result.status != 0) return {};
  std::error_code ec;
  for (const auto& entry : std::filesystem::directory_iterator(work / "rec", ec)) {
    if (entry.path().extension() == extension) return entry.path();
  }
  return {};
}

}  // namespace parvolin::e2e
