#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace parvolin::app {

// The recorder's command line.
struct ParvolinOptions {
  bool headless = false;
  bool minimized = false;
  std::optional<std::filesystem::path> capture;  // --capture FILE
  bool force = false;                            // --force: --capture may replace a file
  std::optional<std::filesystem::path> replay;   // --replay FILE (implies headless)
  std::optional<std::filesystem::path> folder;   // --folder DIR
  std::optional<std::filesystem::path> config;   // --config FILE
  // How units are reached, as given: --driver, --simulate[=SCENARIO], --virtual, --realtime,
  // --usb-id, each in the "--name=value" form.
  std::vector<std::string> driverArgs;
  bool simulated = false;  // --simulate or --driver sim
  bool virtualClock = false;
};

// Parses the arguments after the program name. Returns nothing and sets `error` for an unknown
// option, a missing value, or a combination that is refused (--replay with --capture or
// --simulate, or without --folder).
std::optional<ParvolinOptions> parseParvolinOptions(const std::vector<std::string>& args,
                                                    std::string& error);

// Makes the file and folder arguments absolute against the current directory, which start-up
// changes to the recording folder.
void makePathsAbsolute(ParvolinOptions& options);

inline constexpr const char* kParvolinUsage =
    "usage: parvolin [--headless] [--driver ftdi|d2xx|sim] [--simulate[=SCENARIO]] [--virtual]\n"
    "                [--realtime] [--usb-id VID:PID] [--capture FILE [--force]] [--folder DIR]\n"
    "                [--config FILE] [--minimized]\n"
    "       parvolin --replay FILE --folder DIR [--config FILE]\n";

}  // namespace parvolin::app
