#include "codec/replace_file.h"

#include <cerrno>

#include <fcntl.h>
#include <unistd.h>

namespace parvolin::codec {

namespace {

std::error_code lastError() {
  return {errno, std::generic_category()};
}

std::error_code writeAll(int fd, std::span<const std::uint8_t> bytes) {
  while (!bytes.empty()) {
    const ssize_t n = ::write(fd, bytes.data(), bytes.size());
    if (n < 0) {
      if (errno == EINTR) continue;
      return lastError();
    }
    bytes = bytes.subspan(static_cast<std::size_t>(n));
  }
  return {};
}

void syncFolder(const std::filesystem::path& folder) {
  const int fd = ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  ::fsync(fd);
  ::close(fd);
}

}  // namespace

std::filesystem::path temporaryPathFor(const std::filesystem::path& target) {
  return target.parent_path() / ("." + target.filename().string() + ".tmp");
}

std::error_code replaceFileContents(const std::filesystem::path& target,
                                    std::initializer_list<std::span<const std::uint8_t>> parts) {
  const std::filesystem::path temp = temporaryPathFor(target);
  const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) return lastError();

  std::error_code ec;
  for (auto part : parts) {
    if ((ec = writeAll(fd, part))) break;
  }
  if (!ec && ::fsync(fd) != 0) ec = lastError();
  if (::close(fd) != 0 && !ec) ec = lastError();
  if (!ec) std::filesystem::rename(temp, target, ec);
  if (ec) {
    std::error_code ignored;
    std::filesystem::remove(temp, ignored);
    return ec;
  }
  // The rename is durable once the folder is flushed. The new content is in place either way,
  // so a folder that cannot be flushed does not turn the replacement into a failure.
  syncFolder(target.parent_path());
  return {};
}

}  // namespace parvolin::codec
