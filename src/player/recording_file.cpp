#include "player/recording_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <utility>

namespace parvolin::player {

std::string commandLinePath(int argc, const char* const* argv) {
  std::string path;
  for (int i = 1; i < argc; ++i) {
    if (i > 1) path += ' ';
    path += argv[i];
  }
  return path;
}

std::optional<int> modeFromName(std::string_view path) {
  if (path.size() < 3) return std::nullopt;
  const std::string_view last = path.substr(path.size() - 3);
  if (std::toupper(static_cast<unsigned char>(last[0])) != 'L' ||
      std::toupper(static_cast<unsigned char>(last[1])) != 'V' || last[2] < '0' || last[2] > '3') {
    return std::nullopt;
  }
  return last[2] - '0';
}

std::optional<RecordingFile> RecordingFile::open(const std::filesystem::path& path) {
  for (int attempt = 0; attempt < kOpenAttempts; ++attempt) {
    base::FileHandle file(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (!file.isOpen()) continue;
    struct stat info {};
    if (::fstat(file.fd(), &info) != 0 || !S_ISREG(info.st_mode)) return std::nullopt;
    return RecordingFile(std::move(file), static_cast<std::uint64_t>(info.st_size));
  }
  return std::nullopt;
}

void RecordingFile::close() {
  // The file is only read: a failed close loses nothing.
  static_cast<void>(file_.close());
}

std::optional<std::size_t> RecordingFile::readAt(std::uint64_t offset, std::uint8_t* dst,
                                                 std::size_t length) {
  std::size_t done = 0;
  while (done < length) {
    const ssize_t n =
        ::pread(file_.fd(), dst + done, length - done, static_cast<off_t>(offset + done));
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return std::nullopt;
    if (n == 0) break;
    done += static_cast<std::size_t>(n);
  }
  return done;
}

}  // namespace parvolin::player
