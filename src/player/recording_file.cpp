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
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) continue;
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
      ::close(fd);
      return std::nullopt;
    }
    return RecordingFile(fd, static_cast<std::uint64_t>(info.st_size));
  }
  return std::nullopt;
}

RecordingFile::~RecordingFile() {
  close();
}

RecordingFile::RecordingFile(RecordingFile&& other) noexcept
    : fd_(std::exchange(other.fd_, -1)), length_(other.length_) {}

RecordingFile& RecordingFile::operator=(RecordingFile&& other) noexcept {
  if (this != &other) {
    close();
    fd_ = std::exchange(other.fd_, -1);
    length_ = other.length_;
  }
  return *this;
}

void RecordingFile::close() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
}

std::optional<std::size_t> RecordingFile::readStart(std::uint8_t* dst, std::size_t length) {
  std::size_t done = 0;
  while (done < length) {
    const ssize_t n = ::pread(fd_, dst + done, length - done, static_cast<off_t>(done));
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return std::nullopt;
    if (n == 0) break;
    done += static_cast<std::size_t>(n);
  }
  return done;
}

}  // namespace parvolin::player
