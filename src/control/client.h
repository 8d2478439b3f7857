#pragma once

#include <sys/types.h>

#include <chrono>
#include <filesystem>
#include <optional>
#include <string>

#include <nlohmann/json.hpp>

namespace parvolin::control {

// A connection to a recorder's control socket, for pvtool and tests.
class ControlClient {
 public:
  ControlClient() = default;
  ~ControlClient();
  ControlClient(ControlClient&& other) noexcept;
  ControlClient& operator=(ControlClient&& other) noexcept;
  ControlClient(const ControlClient&) = delete;
  ControlClient& operator=(const ControlClient&) = delete;

  // Connects to `socket`. The server must run as this user, as root, or as `trusted` (the owner
  // of the recording folder, the service's user): a socket named by a file that someone else
  // could write is not believed. False, with error() set, when it cannot.
  [[nodiscard]] bool connect(const std::filesystem::path& socket,
                             std::optional<uid_t> trusted = std::nullopt);
  bool connected() const { return fd_ >= 0; }
  const std::string& error() const { return error_; }

  [[nodiscard]] bool send(const nlohmann::json& message);
  // The next message, waiting up to `timeout`; nullopt at the end of the connection, on a
  // timeout (timedOut()) or on a line that is not JSON.
  std::optional<nlohmann::json> receive(std::chrono::milliseconds timeout);
  bool timedOut() const { return timedOut_; }
  // The next message that answers `id` (events and other answers passed over).
  std::optional<nlohmann::json> answerTo(const nlohmann::json& id,
                                         std::chrono::milliseconds timeout);

  void close();
  int fd() const { return fd_; }

 private:
  int fd_ = -1;
  std::string in_;
  std::string error_;
  bool timedOut_ = false;
};

// The running recorder of `folder`: the socket its lock file names, connected. Nullopt, with
// `why` set, when no recorder serves the folder through a socket.
[[nodiscard]] std::optional<ControlClient> connectToRecorder(const std::filesystem::path& folder,
                                                             std::string& why);

}  // namespace parvolin::control
