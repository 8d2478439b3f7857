// lvsvr: the calls of a recording folder in a browser, for the office, behind
// logins.

#include <csignal>
#include <ctime>
#include <iostream>
#include <string>
#include <vector>

#include "base/exit_status.h"
#include "base/program_text.h"
#include "settings/qt/qsettings_store.h"
#include "webserver/lvsvr_run.h"

int main(int argc, char** argv) {
  using namespace parvolin;
  std::string why;
  const auto options =
      webserver::parseLvsvrOptions(std::vector<std::string>(argv + 1, argv + argc), why);
  if (!options) {
    std::cerr << "lvsvr: " << why << "\n" << webserver::lvsvrUsage();
    return base::kExitUsage;
  }
  if (options->help) {
    std::cout << webserver::lvsvrUsage();
    return base::kExitOk;
  }
  if (options->version) {
    std::cout << base::versionLine("lvsvr") << "\n";
    return base::kExitOk;
  }
  // The stop signals wait for this thread, blocked in every thread the server
  // starts.
  sigset_t stops;
  sigemptyset(&stops);
  sigaddset(&stops, SIGTERM);
  sigaddset(&stops, SIGINT);
  pthread_sigmask(SIG_BLOCK, &stops, nullptr);
  std::signal(SIGPIPE, SIG_IGN);
  const auto waitForStop = [&stops] {
    const timespec period{2, 0};
    return sigtimedwait(&stops, nullptr, &period) > 0;
  };
  return webserver::runLvsvr(*options, settings::makeQSettingsStore, waitForStop, std::cout,
                             std::cerr);
}
