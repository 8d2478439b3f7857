#pragma once

// The lvsvr program without its main(): options, the checks before it serves (a
// user with a password of its own, the folder, TLS files), and the run until a
// stop signal.

#include <atomic>
#include <filesystem>
#include <functional>
#include <iosfwd>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "settings/settings_store.h"
#include "webserver/http_server.h"

namespace parvolin::webserver {

struct LvsvrOptions {
  std::filesystem::path folder;
  ServerOptions server;
  std::optional<std::filesystem::path> tlsCertificate, tlsKey;
  std::optional<std::filesystem::path> stateFolder;
  std::optional<std::filesystem::path> configFile;
  bool help = false;
  bool version = false;
};

inline constexpr std::uint16_t kDefaultPort = 8480;

// The options of `args` (the program's name left out); why they are none
// otherwise.
[[nodiscard]] std::optional<LvsvrOptions> parseLvsvrOptions(const std::vector<std::string>& args,
                                                            std::string& why);
std::string lvsvrUsage();

using OpenSettings = std::function<std::unique_ptr<settings::SettingsStore>(
    const std::optional<std::filesystem::path>& configFile)>;
// Waits until the program is to stop; called again and again, returns true to
// stop. lvsvr waits for SIGTERM or SIGINT in it; in between the users file is
// read again when it changed.
using WaitForStop = std::function<bool()>;

// Serves the folder until `waitForStop` says so; the exit status.
int runLvsvr(const LvsvrOptions& options, const OpenSettings& openSettings,
             const WaitForStop& waitForStop, std::ostream& out, std::ostream& err);

}  // namespace parvolin::webserver
