#pragma once

#include <sys/types.h>

#include <filesystem>
#include <optional>
#include <vector>

#include "app/child_program.h"
#include "app/shell.h"

namespace parvolin::app {

// The desktop of a freedesktop system: file types as shared-mime-info and desktop entries under
// `dataFolder`, refreshed with update-mime-database and update-desktop-database when they are
// installed; documents opened with xdg-open. Every program is started directly, without a shell,
// and every failure is ignored.
class XdgShell final : public Shell {
 public:
  // Without a data folder (no HOME) no file type is registered.
  explicit XdgShell(std::optional<std::filesystem::path> dataFolder);
  ~XdgShell() override;

  void registerFileTypes(const std::filesystem::path& programFolder) override;
  void openDocument(const std::filesystem::path& document) override;
  // The server is a child that ends with the shell (the recorder's run).
  void startServer(const std::filesystem::path& program,
                   const std::vector<std::string>& args) override;

 private:
  std::optional<std::filesystem::path> dataFolder_;
  std::vector<pid_t> openers_;  // xdg-open children, collected when they have ended
  ChildProgram server_;
};

}  // namespace parvolin::app
