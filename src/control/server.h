#pragma once

#include <sys/types.h>

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <thread>

#include "control/target.h"

namespace parvolin::control {

struct ServerLimits {
  std::size_t maxClients = 16;
  // What may wait to be written to one client; beyond it, messages are dropped and counted, and
  // the next one delivered says how many ("dropped").
  std::size_t outputBytes = 256 * 1024;
};

// Whether a peer may use the socket of a process running as `ownUid`: its own user, or, for the
// service, a member of `group` (the peer's own group or one of its supplementary groups).
// Everybody else, root included, is refused.
bool peerAllowed(uid_t peerUid, gid_t peerGid, uid_t ownUid, std::optional<gid_t> group);

// The recorder's control socket: a Unix socket served on a thread of its own (poll(),
// non-blocking sockets), which answers status, streams changes to watchers and hands list edits
// to the recorder through a RecorderTarget. Nothing a client sends or fails to read reaches the
// recorder's thread other than through the target.
class ControlServer {
 public:
  explicit ControlServer(RecorderTarget& target, ServerLimits limits = {});
  ~ControlServer();
  ControlServer(const ControlServer&) = delete;
  ControlServer& operator=(const ControlServer&) = delete;

  // Listens on `socket` and starts the thread. The socket file is made with mode 0600, or 0660
  // and the group `group` when one is given (the service's group); a socket left there by an
  // earlier run of this user is replaced, anything else refused. Why not, when it cannot.
  [[nodiscard]] std::optional<std::string> start(const std::filesystem::path& socket,
                                                 std::optional<gid_t> group = std::nullopt);
  // Stops the thread, closes every connection and removes the socket file.
  void stop();
  bool running() const { return thread_.joinable(); }
  const std::filesystem::path& path() const { return path_; }

  // Thread-safe: the target's status changed; watchers are sent it.
  void notify();

  struct Counters {
    std::uint64_t accepted = 0;
    std::uint64_t refused = 0;  // connections whose peer was not allowed, or one too many
    std::uint64_t badMessages = 0;
    std::uint64_t dropped = 0;  // messages not sent to a client that did not read
  };
  Counters counters() const;

 private:
  struct Shared;
  struct Client;
  void run();

  RecorderTarget& target_;
  ServerLimits limits_;
  std::shared_ptr<Shared> shared_;
  std::filesystem::path path_;
  std::optional<gid_t> group_;
  int listenFd_ = -1;
  std::thread thread_;
};

}  // namespace parvolin::control
