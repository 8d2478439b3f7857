#include "app/xdg_shell.h"

#include <sys/wait.h>

#include <cstdio>

#include "app/associations.h"
#include "app/spawn.h"

namespace parvolin::app {

XdgShell::XdgShell(std::optional<std::filesystem::path> dataFolder)
    : dataFolder_(std::move(dataFolder)) {}

XdgShell::~XdgShell() {
  // An opener that is still running is left to finish on its own.
  for (const pid_t child : openers_) waitpid(child, nullptr, WNOHANG);
}

void XdgShell::registerFileTypes(const std::filesystem::path& programFolder) {
  if (!dataFolder_) return;
  writeAssociationFiles(*dataFolder_, programFolder);
  // Both tools are quick; waiting keeps their output ahead of ours.
  if (auto child = spawnProgram("update-mime-database", {(*dataFolder_ / "mime").string()})) {
    waitForChild(*child);
  }
  if (auto child =
          spawnProgram("update-desktop-database", {(*dataFolder_ / "applications").string()})) {
    waitForChild(*child);
  }
}

void XdgShell::openDocument(const std::filesystem::path& document) {
  for (auto it = openers_.begin(); it != openers_.end();) {
    it = waitpid(*it, nullptr, WNOHANG) != 0 ? openers_.erase(it) : it + 1;
  }
  if (auto child = spawnProgram("xdg-open", {document.string()})) openers_.push_back(*child);
}

}  // namespace parvolin::app

namespace parvolin::app {

void XdgShell::startServer(const std::filesystem::path& program,
                           const std::vector<std::string>& args) {
  std::string why;
  if (!server_.start(program, args, why)) {
    std::fprintf(stderr, "parvolin: the web server is not started: %s\n", why.c_str());
  }
}

}  // namespace parvolin::app
