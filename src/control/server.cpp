#include "control/server.h"

#include <fcntl.h>
#include <grp.h>
#include <poll.h>
#include <pwd.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <deque>
#include <exception>
#include <map>
#include <mutex>
#include <vector>

#include "base/file_io.h"
#include "control/protocol.h"
#include "engine/list_writer.h"

namespace parvolin::control {

using nlohmann::json;

namespace {

// What one read takes from a client before the others get their turn.
constexpr std::size_t kReadChunk = 16 * 1024;
constexpr int kIdleWakeMs = 1000;

}  // namespace

bool peerAllowed(uid_t peerUid, gid_t peerGid, uid_t ownUid, std::optional<gid_t> group) {
  if (peerUid == ownUid) return true;
  if (!group) return false;
  if (peerGid == *group) return true;
  // The peer's supplementary groups, from the user database.
  std::vector<char> buffer(16 * 1024);
  passwd entry{};
  passwd* found = nullptr;
  if (getpwuid_r(peerUid, &entry, buffer.data(), buffer.size(), &found) != 0 || !found) {
    return false;
  }
  std::vector<gid_t> groups(64);
  int count = int(groups.size());
  if (getgrouplist(found->pw_name, peerGid, groups.data(), &count) < 0) {
    groups.resize(std::size_t(count));
    if (getgrouplist(found->pw_name, peerGid, groups.data(), &count) < 0) return false;
  }
  for (int i = 0; i < count; ++i) {
    if (groups[std::size_t(i)] == *group) return true;
  }
  return false;
}

// What the recorder's thread hands back: the answers of list edits. Shared with the callbacks
// given to the target, which may run after the server is gone.
struct ControlServer::Shared {
  struct Answer {
    std::uint64_t client = 0;
    json message;
  };
  int wakeFd = -1;
  std::mutex mutex;
  std::deque<Answer> answers;
  std::atomic<bool> stopping{false};
  std::atomic<std::uint64_t> accepted{0}, refused{0}, badMessages{0}, dropped{0};

  Shared() : wakeFd(eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)) {}
  ~Shared() {
    if (wakeFd >= 0) ::close(wakeFd);
  }
  void wake() const {
    const std::uint64_t one = 1;
    [[maybe_unused]] const auto n = ::write(wakeFd, &one, sizeof one);
  }
};

struct ControlServer::Client {
  int fd = -1;
  std::uint64_t serial = 0;
  std::string in;
  bool skippingLine = false;  // a line over the limit is being skipped
  std::string out;
  std::uint64_t dropped = 0;
  bool watching = false;
  std::uint64_t watchedGeneration = 0;
  bool readEnded = false;
  int pendingEdits = 0;
};

ControlServer::ControlServer(RecorderTarget& target, ServerLimits limits)
    : target_(target), limits_(limits), shared_(std::make_shared<Shared>()) {}

ControlServer::~ControlServer() {
  stop();
}

std::optional<std::string> ControlServer::start(const std::filesystem::path& socket,
                                                std::optional<gid_t> group) {
  if (running()) return std::string("already listening");
  if (shared_->wakeFd < 0) return std::string("cannot make an event: ") + std::strerror(errno);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  if (socket.string().size() >= sizeof address.sun_path) return socket.string() + ": too long";
  std::memcpy(address.sun_path, socket.c_str(), socket.string().size());

  // A socket of this user left by a run that ended without removing it is ours to replace: the
  // folder's lock, which this process holds, says that no other recorder serves the folder.
  struct stat existing {};
  if (::lstat(socket.c_str(), &existing) == 0) {
    if (!S_ISSOCK(existing.st_mode) || existing.st_uid != ::geteuid()) {
      return socket.string() + ": exists and is not a socket of this user";
    }
    ::unlink(socket.c_str());
  }
  const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  if (fd < 0) return std::string("socket: ") + std::strerror(errno);
  // Made with no access for anybody, then opened to the group when asked: never a moment in
  // which a stranger could connect.
  const mode_t oldMask = ::umask(0777);
  const int bound = ::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address);
  const int bindError = errno;
  ::umask(oldMask);
  if (bound != 0) {
    ::close(fd);
    return socket.string() + ": " + std::strerror(bindError);
  }
  bool ok = true;
  if (group) ok = ::chown(socket.c_str(), uid_t(-1), *group) == 0;
  ok = ok && ::chmod(socket.c_str(), group ? 0660 : 0600) == 0;
  if (!ok || ::listen(fd, 16) != 0) {
    const int error = errno;
    ::close(fd);
    ::unlink(socket.c_str());
    return socket.string() + ": " + std::strerror(error);
  }
  listenFd_ = fd;
  path_ = socket;
  group_ = group;
  shared_->stopping = false;
  thread_ = std::thread([this] { run(); });
  return std::nullopt;
}

void ControlServer::stop() {
  if (!thread_.joinable()) return;
  shared_->stopping = true;
  shared_->wake();
  thread_.join();
  ::close(listenFd_);
  listenFd_ = -1;
  ::unlink(path_.c_str());
}

void ControlServer::notify() {
  shared_->wake();
}

ControlServer::Counters ControlServer::counters() const {
  return {shared_->accepted, shared_->refused, shared_->badMessages, shared_->dropped};
}

void ControlServer::run() {
  std::map<int, Client> clients;  // by socket
  std::uint64_t nextSerial = 1;
  const uid_t ownUid = ::geteuid();
  Shared& shared = *shared_;

  // Queues `message` for `client`, or drops it when the client has too much waiting.
  const auto send = [&](Client& client, json message) {
    if (client.dropped > 0) message["dropped"] = client.dropped;
    std::string line = encodeLine(message);
    if (client.out.size() + line.size() > limits_.outputBytes) {
      ++client.dropped;
      ++shared.dropped;
      return;
    }
    client.dropped = 0;
    client.out += line;
  };
  const auto statusEvent = [&](std::uint64_t* generation) {
    return json{{"v", kProtocolVersion},
                {"event", "status"},
                {"status", toJson(target_.status(generation))}};
  };
  const auto flush = [](Client& client) {
    while (!client.out.empty()) {
      const ssize_t n =
          ::send(client.fd, client.out.data(), client.out.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
      if (n > 0) {
        client.out.erase(0, std::size_t(n));
      } else if (n < 0 && errno == EINTR) {
        continue;
      } else if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
        return true;
      } else {
        return false;
      }
    }
    return true;
  };
  const auto handleLine = [&](Client& client, std::string_view line) {
    auto parsed = parseRequest(line);
    if (auto* error = std::get_if<RequestError>(&parsed)) {
      ++shared.badMessages;
      send(client, errorAnswer(*error));
      return;
    }
    const Request& request = std::get<Request>(parsed);
    switch (request.command) {
      case Request::Command::kStatus: {
        json answer = okAnswer(request.id);
        answer["status"] = toJson(target_.status());
        send(client, std::move(answer));
        return;
      }
      case Request::Command::kWatch:
        send(client, okAnswer(request.id));
        client.watching = true;
        send(client, statusEvent(&client.watchedGeneration));
        return;
      case Request::Command::kRetention: {
        if (client.pendingEdits > 0) {
          send(client, errorAnswer({request.id, "busy", "an edit of this connection is waiting"}));
          return;
        }
        ++client.pendingEdits;
        std::weak_ptr<Shared> weak = shared_;
        target_.runRetention(request.dryRun, [weak, serial = client.serial, id = request.id](
                                                 const engine::RetentionReport& report) {
          const auto alive = weak.lock();
          if (!alive) return;
          {
            std::lock_guard lock(alive->mutex);
            alive->answers.push_back({serial, retentionAnswer(id, report)});
          }
          alive->wake();
        });
        return;
      }
      case Request::Command::kListEdit: {
        if (client.pendingEdits > 0) {
          send(client, errorAnswer({request.id, "busy", "an edit of this connection is waiting"}));
          return;
        }
        const StatusSnapshot status = target_.status();
        // The waiting rows before the file: a rewrite in between only moves rows into the file.
        const std::vector<std::string> waiting = target_.rowsNotInList();
        std::string file;
        if (status.list.empty() || base::readWholeFile(status.list, file)) file.clear();
        const std::string list =
            file.empty() && waiting.empty() ? file : engine::listWithWaitingRows(file, waiting);
        ListEditPlan plan = planListEdit(request.edit, list);
        if (plan.error) {
          plan.error->id = request.id;
          send(client, errorAnswer(*plan.error));
          return;
        }
        if (plan.unchanged) {
          json answer = okAnswer(request.id);
          answer["applied"] = false;
          answer["unchanged"] = true;
          send(client, std::move(answer));
          return;
        }
        ++client.pendingEdits;
        std::weak_ptr<Shared> weak = shared_;
        target_.requestListEdit(
            std::move(*plan.edit),
            [weak, serial = client.serial, id = request.id](const engine::ListEditResult& result) {
              const auto alive = weak.lock();
              if (!alive) return;
              {
                std::lock_guard lock(alive->mutex);
                alive->answers.push_back({serial, listEditAnswer(id, result)});
              }
              alive->wake();
            });
        return;
      }
    }
  };
  const auto readFrom = [&](Client& client) {
    char buffer[kReadChunk];
    const ssize_t n = ::recv(client.fd, buffer, sizeof buffer, MSG_DONTWAIT);
    if (n == 0) {
      client.readEnded = true;
      return true;
    }
    if (n < 0) return errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR;
    std::string_view data(buffer, std::size_t(n));
    while (!data.empty()) {
      const std::size_t end = data.find('\n');
      if (client.skippingLine) {
        if (end == std::string_view::npos) return true;
        client.skippingLine = false;
        data.remove_prefix(end + 1);
        continue;
      }
      if (end == std::string_view::npos) {
        client.in.append(data);
        if (client.in.size() > kMaxRequestLine) {
          ++shared.badMessages;
          send(client, errorAnswer({nullptr, "line-too-long", "a line may hold 16384 bytes"}));
          client.in.clear();
          client.skippingLine = true;
        }
        return true;
      }
      client.in.append(data.substr(0, end));
      data.remove_prefix(end + 1);
      if (client.in.size() > kMaxRequestLine) {
        ++shared.badMessages;
        send(client, errorAnswer({nullptr, "line-too-long", "a line may hold 16384 bytes"}));
      } else if (!client.in.empty() && client.in != "\r") {
        try {
          handleLine(client, client.in);
        } catch (const std::exception& e) {
          ++shared.badMessages;
          send(client, errorAnswer({nullptr, "internal", e.what()}));
        }
      }
      client.in.clear();
    }
    return true;
  };

  while (!shared.stopping) {
    std::vector<pollfd> fds;
    fds.push_back({shared.wakeFd, POLLIN, 0});
    fds.push_back({listenFd_, POLLIN, 0});
    for (auto& [fd, client] : clients) {
      short events = client.readEnded ? 0 : POLLIN;
      if (!client.out.empty()) events |= POLLOUT;
      fds.push_back({fd, events, 0});
    }
    if (::poll(fds.data(), fds.size(), kIdleWakeMs) < 0 && errno != EINTR) break;
    if (shared.stopping) break;

    if (fds[0].revents & POLLIN) {
      std::uint64_t count = 0;
      [[maybe_unused]] const auto n = ::read(shared.wakeFd, &count, sizeof count);
    }
    // The answers of the edits the recorder applied.
    std::deque<Shared::Answer> answers;
    {
      std::lock_guard lock(shared.mutex);
      answers.swap(shared.answers);
    }
    for (const Shared::Answer& answer : answers) {
      for (auto& [fd, client] : clients) {
        if (client.serial != answer.client) continue;
        --client.pendingEdits;
        send(client, answer.message);
      }
    }
    // The watchers get the status when it changed.
    std::uint64_t generation = 0;
    bool anyWatcher = false;
    for (auto& [fd, client] : clients) anyWatcher = anyWatcher || client.watching;
    if (anyWatcher) {
      json event = statusEvent(&generation);
      for (auto& [fd, client] : clients) {
        if (!client.watching || client.watchedGeneration == generation) continue;
        client.watchedGeneration = generation;
        send(client, event);
      }
    }

    if (fds[1].revents & POLLIN) {
      for (;;) {
        const int fd = ::accept4(listenFd_, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (fd < 0) break;
        ucred peer{};
        socklen_t size = sizeof peer;
        const bool known = ::getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &peer, &size) == 0;
        std::string refusal;
        if (!known || !peerAllowed(peer.uid, peer.gid, ownUid, group_)) {
          refusal = encodeLine(errorAnswer({nullptr, "not-allowed", "this user may not connect"}));
        } else if (clients.size() >= limits_.maxClients) {
          refusal = encodeLine(errorAnswer({nullptr, "too-many-clients", "too many connections"}));
        }
        if (!refusal.empty()) {
          ++shared.refused;
          [[maybe_unused]] const auto n =
              ::send(fd, refusal.data(), refusal.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
          ::close(fd);
          continue;
        }
        ++shared.accepted;
        Client& client = clients[fd];
        client.fd = fd;
        client.serial = nextSerial++;
      }
    }

    for (std::size_t i = 2; i < fds.size(); ++i) {
      const auto at = clients.find(fds[i].fd);
      if (at == clients.end()) continue;
      Client& client = at->second;
      bool keep = true;
      if (fds[i].revents & POLLIN) keep = readFrom(client);
      if (keep && (fds[i].revents & (POLLERR | POLLNVAL))) keep = false;
      if (keep && (fds[i].revents & POLLHUP) && !(fds[i].revents & POLLIN)) keep = false;
      if (keep) keep = flush(client);
      // A client that said all it had is served until its answers are out.
      if (keep && client.readEnded && client.out.empty() && client.pendingEdits == 0 &&
          !client.watching) {
        keep = false;
      }
      if (!keep) {
        ::close(client.fd);
        clients.erase(at);
      }
    }
    // Clients that got answers or events in this turn without a poll event of their own.
    for (auto& [fd, client] : clients) {
      if (!client.out.empty()) flush(client);
    }
  }
  for (auto& [fd, client] : clients) ::close(fd);
}

}  // namespace parvolin::control
