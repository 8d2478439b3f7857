#include "control/socket_path.h"

#include <fcntl.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "base/file_io.h"
#include "base/folder_lock.h"

namespace parvolin::control {
namespace {

constexpr char kRecordKey[] = "control ";

std::optional<std::filesystem::path> absoluteEnv(const char* name) {
  const char* value = std::getenv(name);
  if (!value || value[0] != '/') return std::nullopt;
  // RuntimeDirectory= with several folders gives them separated by colons: the first is ours.
  std::string path(value);
  path = path.substr(0, path.find(':'));
  return std::filesystem::path(path);
}

}  // namespace

std::optional<std::filesystem::path> runtimeFolder() {
  if (auto service = absoluteEnv("RUNTIME_DIRECTORY")) return service;
  return absoluteEnv("XDG_RUNTIME_DIR");
}

bool runsAsService() {
  return absoluteEnv("RUNTIME_DIRECTORY").has_value();
}

std::optional<std::filesystem::path> socketPathFor(const std::filesystem::path& runtime,
                                                   const std::filesystem::path& recordingFolder) {
  // FNV-1a: the name only has to tell folders apart, the lock file says which one it is.
  // "/srv/rec", "/srv/rec/" and "/srv/rec/." are one folder.
  std::string folder = recordingFolder.lexically_normal().string();
  while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
  std::uint64_t hash = 0xcbf29ce484222325ULL;
  for (const char c : folder) {
    hash = (hash ^ std::uint8_t(c)) * 0x100000001b3ULL;
  }
  char name[40];
  std::snprintf(name, sizeof name, "parvolin-%016llx.sock", static_cast<unsigned long long>(hash));
  std::filesystem::path path = runtime / name;
  if (path.string().size() >= sizeof(sockaddr_un{}.sun_path)) return std::nullopt;
  return path;
}

std::string lockRecordLine(const std::filesystem::path& socket) {
  return kRecordKey + socket.string();
}

bool nameSocketInLock(const std::filesystem::path& recordingFolder,
                      const std::filesystem::path& socket) {
  const std::string line = lockRecordLine(socket);
  if (line.find('\n') != std::string::npos) return false;
  base::FileHandle handle(
      ::open((recordingFolder / base::kFolderLockName).c_str(), O_RDWR | O_CLOEXEC | O_NOFOLLOW));
  if (!handle.isOpen()) return false;
  char text[256] = {};
  const ssize_t n = ::pread(handle.fd(), text, sizeof text - 1, 0);
  if (n <= 0) return false;
  std::string first(text, std::size_t(n));
  first = first.substr(0, first.find('\n'));
  if (first.substr(0, first.find(' ')) != std::to_string(::getpid())) return false;
  const std::string record = first + "\n" + line + "\n";
  if (::ftruncate(handle.fd(), 0) != 0) return false;
  return ::pwrite(handle.fd(), record.data(), record.size(), 0) == ssize_t(record.size());
}

std::optional<std::filesystem::path> socketFromLock(const std::filesystem::path& recordingFolder) {
  std::string text;
  if (base::readWholeFile(recordingFolder / base::kFolderLockName, text)) return std::nullopt;
  if (text.size() > 4096) return std::nullopt;
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    const std::string_view line(text.data() + start, end - start);
    if (line.starts_with(kRecordKey)) {
      const std::string_view path = line.substr(sizeof kRecordKey - 1);
      if (path.empty() || path[0] != '/' || path.size() >= sizeof(sockaddr_un{}.sun_path)) {
        return std::nullopt;
      }
      return std::filesystem::path(path);
    }
    start = end + 1;
  }
  return std::nullopt;
}

}  // namespace parvolin::control
