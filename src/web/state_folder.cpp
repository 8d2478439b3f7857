#include "web/state_folder.h"

#include <sys/stat.h>

#include <cstdlib>
#include <system_error>

namespace parvolin::web {

std::filesystem::path defaultStateFolder() {
  const char* state = std::getenv("XDG_STATE_HOME");
  if (state != nullptr && state[0] == '/') return std::filesystem::path(state) / "parvolin-web";
  const char* home = std::getenv("HOME");
  if (home != nullptr && home[0] == '/') {
    return std::filesystem::path(home) / ".local" / "state" / "parvolin-web";
  }
  return "parvolin-web";
}

std::optional<std::string> makeStateFolderProblem(const std::filesystem::path& folder) {
  std::error_code error;
  if (std::filesystem::is_directory(folder, error)) return std::nullopt;
  if (!folder.parent_path().empty()) {
    std::filesystem::create_directories(folder.parent_path(), error);
    if (error) {
      return "Cannot make the folder " + folder.parent_path().string() + ": " + error.message();
    }
  }
  if (::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) {
    return "Cannot make the state folder " + folder.string() + ": " +
           std::error_code(errno, std::generic_category()).message();
  }
  if (!std::filesystem::is_directory(folder, error)) {
    return "The state folder " + folder.string() + " is not a folder.";
  }
  return std::nullopt;
}

}  // namespace parvolin::web
