#include "control/client.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "base/folder_lock.h"
#include "control/protocol.h"
#include "control/socket_path.h"

namespace parvolin::control {

using nlohmann::json;

namespace {
// An answer longer than this is not one of ours.
constexpr std::size_t kMaxAnswerLine = 8 * 1024 * 1024;
}  // namespace

ControlClient::~ControlClient() {
  close();
}

ControlClient::ControlClient(ControlClient&& other) noexcept
    : fd_(other.fd_), in_(std::move(other.in_)), error_(std::move(other.error_)) {
  other.fd_ = -1;
}

ControlClient& ControlClient::operator=(ControlClient&& other) noexcept {
  if (this != &other) {
    close();
    fd_ = other.fd_;
    in_ = std::move(other.in_);
    error_ = std::move(other.error_);
    other.fd_ = -1;
  }
  return *this;
}

void ControlClient::close() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
  in_.clear();
}

bool ControlClient::connect(const std::filesystem::path& socket, std::optional<uid_t> trusted) {
  close();
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  if (socket.string().size() >= sizeof address.sun_path) {
    error_ = socket.string() + ": too long";
    return false;
  }
  std::memcpy(address.sun_path, socket.c_str(), socket.string().size());
  const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0 || ::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
    error_ = socket.string() + ": " + std::strerror(errno);
    if (fd >= 0) ::close(fd);
    return false;
  }
  ucred peer{};
  socklen_t size = sizeof peer;
  if (::getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &peer, &size) != 0 ||
      !(peer.uid == ::getuid() || peer.uid == 0 || (trusted && peer.uid == *trusted))) {
    error_ = socket.string() + ": served by another user; not trusted";
    ::close(fd);
    return false;
  }
  fd_ = fd;
  error_.clear();
  return true;
}

bool ControlClient::send(const json& message) {
  if (fd_ < 0) return false;
  const std::string line = encodeLine(message);
  std::size_t done = 0;
  while (done < line.size()) {
    const ssize_t n = ::send(fd_, line.data() + done, line.size() - done, MSG_NOSIGNAL);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      error_ = std::string("cannot send: ") + std::strerror(errno);
      return false;
    }
    done += std::size_t(n);
  }
  return true;
}

std::optional<json> ControlClient::receive(std::chrono::milliseconds timeout) {
  timedOut_ = false;
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  for (;;) {
    const std::size_t end = in_.find('\n');
    if (end != std::string::npos) {
      json message = json::parse(std::string_view(in_).substr(0, end), nullptr, false);
      in_.erase(0, end + 1);
      if (message.is_discarded()) {
        error_ = "the recorder sent a line that is not JSON";
        return std::nullopt;
      }
      return message;
    }
    if (fd_ < 0) return std::nullopt;
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) {
      timedOut_ = true;
      error_ = "no answer from the recorder";
      return std::nullopt;
    }
    pollfd p{fd_, POLLIN, 0};
    const int ready = ::poll(&p, 1, int(left.count()));
    if (ready < 0 && errno == EINTR) continue;
    if (ready <= 0) continue;
    char buffer[16 * 1024];
    const ssize_t n = ::recv(fd_, buffer, sizeof buffer, 0);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      error_ = "the recorder closed the connection";
      close();
      return std::nullopt;
    }
    in_.append(buffer, std::size_t(n));
    if (in_.size() > kMaxAnswerLine) {
      error_ = "the recorder's answer is too long";
      close();
      return std::nullopt;
    }
  }
}

std::optional<json> ControlClient::answerTo(const json& id, std::chrono::milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  for (;;) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    auto message = receive(std::max(left, std::chrono::milliseconds(0)));
    if (!message) return std::nullopt;
    if (message->is_object() && message->contains("ok") && message->value("id", json()) == id) {
      return message;
    }
    // A refusal at the door has no id.
    if (message->is_object() && message->value("ok", true) == false &&
        message->value("id", json()).is_null()) {
      return message;
    }
  }
}

std::optional<ControlClient> connectToRecorder(const std::filesystem::path& folder,
                                               std::string& why) {
  why = "no recorder serves " + folder.string() + " through a control socket";
  // A lock file nobody holds names the socket of a run that is over. Looked at without taking
  // it, so that asking changes nothing in the folder.
  const int lock = ::open((folder / base::kFolderLockName).c_str(),
                          O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
  if (lock < 0) return std::nullopt;
  const bool free = ::flock(lock, LOCK_SH | LOCK_NB) == 0;
  ::close(lock);
  if (free) return std::nullopt;
  const auto socket = socketFromLock(folder);
  if (!socket) return std::nullopt;
  struct stat owner {};
  std::optional<uid_t> trusted;
  if (::stat(folder.c_str(), &owner) == 0) trusted = owner.st_uid;
  ControlClient client;
  if (!client.connect(*socket, trusted)) {
    why += " (" + client.error() + ")";
    return std::nullopt;
  }
  return client;
}

}  // namespace parvolin::control
