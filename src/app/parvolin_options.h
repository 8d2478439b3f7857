#pragma once

#include <cstdio>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "engine/output_files.h"

namespace parvolin::app {

// The recorder's command line.
struct ParvolinOptions {
  bool help = false;     // --help, -h: the help on standard output, nothing else
  bool version = false;  // --version
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
// option, a missing value, or a combination that is refused (--replay with --capture or any unit
// option, or without --folder; --headless with --minimized). With --help or --version the rest
// is not looked at.
std::optional<ParvolinOptions> parseParvolinOptions(const std::vector<std::string>& args,
                                                    std::string& error);

// What --capture may do to a file that exists already.
inline engine::ExistingFile captureExistingFile(const ParvolinOptions& options) {
  return options.force ? engine::ExistingFile::kReplace : engine::ExistingFile::kRefuse;
}

// False, after saying why on `err`, when --capture names a file that may not be written: an
// existing file without --force, or one of a recording folder's own files.
[[nodiscard]] bool captureMayBeWritten(const ParvolinOptions& options, std::FILE* err);

// Makes the file and folder arguments absolute against the current directory, which start-up
// changes to the recording folder.
void makePathsAbsolute(ParvolinOptions& options);

inline constexpr const char* kParvolinUsage =
    "usage: parvolin [--headless] [--driver ftdi|d2xx|sim] [--simulate[=SCENARIO]] [--virtual]\n"
    "                [--realtime] [--usb-id VID:PID] [--capture FILE [--force]] [--folder DIR]\n"
    "                [--config FILE] [--minimized]\n"
    "       parvolin --replay FILE --folder DIR [--config FILE]\n"
    "       parvolin --help | --version\n";

// The whole --help: the usage lines, then what each option does.
inline constexpr const char* kParvolinHelp =
    "The call recorder: follows every line of up to four recorder units through its calls and\n"
    "records one audio file per call, the call log ParvolinLog.ZERU and the HTML list of calls\n"
    "into the recording folder. It shows them in its window, or without one (--headless).\n"
    "  --headless             record without a window; one line on standard output for every\n"
    "                         change of a line's state; SIGINT, SIGTERM, SIGHUP stop it in order\n"
    "  --minimized            start with the window minimised (not with --headless)\n"
    "  --driver ftdi|d2xx|sim units through libftdi1 (the default), the vendor's D2XX library,\n"
    "                         or emulated units\n"
    "  --simulate[=SCENARIO]  emulated units playing SCENARIO (default: the demo scenario)\n"
    "  --realtime, --virtual  emulated units on the wall clock (the default), or on a virtual\n"
    "                         clock that runs their scenario at full speed to its end (with\n"
    "                         --headless)\n"
    "  --usb-id VID:PID       also look for units with this USB id (hex; repeatable)\n"
    "  --capture FILE         also write everything read from the units into a stream capture\n"
    "                         (never a file there already, nor a recording folder's own)\n"
    "  --force                with --capture: replace FILE when it exists\n"
    "  --folder DIR           record into DIR for this run instead of the configured folder\n"
    "                         (a folder that exists or can be made)\n"
    "  --config FILE          the settings file (default ~/.config/ParvolinUsb/Parvolin.conf;\n"
    "                         a settings file that can be written)\n"
    "  --replay FILE          process a stream capture into --folder DIR, with the stored\n"
    "                         settings, and end\n"
    "Exit status 0 after a stop, 1 when the first unit's number cannot be read or the recording\n"
    "folder is unusable or held by another program, 2 for a bad command line or a refused\n"
    "capture or settings file, 3 when a unit could not be set up, 4 when recordings, call\n"
    "records or rows were left unwritten (named on standard error). The manual is parvolin(1).\n";

}  // namespace parvolin::app
