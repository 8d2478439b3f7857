#pragma once

// Where the web server keeps what is its own: the users and the audit log. Never the recording
// folder, which the server only reads.

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace parvolin::web {

inline constexpr std::string_view kUsersFileName = "users";
inline constexpr std::string_view kAuditFileName = "audit.log";

// $XDG_STATE_HOME/parvolin-web, else $HOME/.local/state/parvolin-web; "parvolin-web" in the
// working folder when neither is set (a service names its own with --state).
std::filesystem::path defaultStateFolder();

// Makes `folder` (and its parents) when it is missing, the folder itself readable by its owner
// only (0700). A folder that exists is left as it is.
[[nodiscard]] std::optional<std::string> makeStateFolderProblem(
    const std::filesystem::path& folder);

}  // namespace parvolin::web
