#pragma once

// Where a recorder's control socket is: one per recording folder, in the service's runtime
// folder or the user's, named in the folder's lock file so that a client finds it from the
// folder alone.

#include <filesystem>
#include <optional>
#include <string>

namespace parvolin::control {

// The folder the sockets go in: $RUNTIME_DIRECTORY (a service's RuntimeDirectory=), else
// $XDG_RUNTIME_DIR; nullopt when neither is set to an absolute path (no socket then: /tmp is
// shared with everybody).
std::optional<std::filesystem::path> runtimeFolder();
// Whether the recorder runs as a service (its runtime folder came from RuntimeDirectory=).
bool runsAsService();

// The socket for `recordingFolder` (absolute) in `runtime`: "parvolin-HASH.sock", HASH made
// from the folder's path. Nullopt when the path would not fit a socket address.
std::optional<std::filesystem::path> socketPathFor(const std::filesystem::path& runtime,
                                                   const std::filesystem::path& recordingFolder);

// The line of the folder's lock file that names the socket ("control PATH").
std::string lockRecordLine(const std::filesystem::path& socket);
// Adds lockRecordLine(socket) to the lock file of `recordingFolder` under its holder's line
// ("PID PROGRAM"). Only the holding process may: false, with nothing written, when the file
// names another process or cannot be written.
[[nodiscard]] bool nameSocketInLock(const std::filesystem::path& recordingFolder,
                                    const std::filesystem::path& socket);
// The socket the lock file of `recordingFolder` names; nullopt when it names none.
std::optional<std::filesystem::path> socketFromLock(const std::filesystem::path& recordingFolder);

}  // namespace parvolin::control
