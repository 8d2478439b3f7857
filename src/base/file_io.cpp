#include "base/file_io.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cerrno>

namespace parvolin::base {
namespace {

std::error_code lastError() {
  return {errno, std::generic_category()};
}

constexpr mode_t kNewFileMode = 0644;

detail::WriteCall writeCall = ::write;
bool waitForDisk = true;

}  // namespace

FileHandle& FileHandle::operator=(FileHandle&& other) noexcept {
  if (this != &other) {
    close();
    fd_ = other.release();
  }
  return *this;
}

std::error_code FileHandle::close() {
  if (fd_ < 0) return {};
  const int fd = release();
  if (::close(fd) != 0 && errno != EINTR) return lastError();
  return {};
}

std::error_code openExisting(const std::filesystem::path& path, FileHandle& out) {
  const int fd = ::open(path.c_str(), O_RDWR | O_CLOEXEC);
  if (fd < 0) return lastError();
  out = FileHandle(fd);
  return {};
}

std::error_code createExclusive(const std::filesystem::path& path, FileHandle& out) {
  const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, kNewFileMode);
  if (fd < 0) return lastError();
  out = FileHandle(fd);
  return {};
}

namespace detail {

std::error_code writeAllWith(WriteCall call, int fd, std::span<const std::uint8_t> bytes,
                             std::size_t& written) {
  written = 0;
  while (!bytes.empty()) {
    const ssize_t n = call(fd, bytes.data(), bytes.size());
    if (n < 0) {
      if (errno == EINTR) continue;
      return lastError();
    }
    // A write that takes nothing would take nothing again: the disk is full.
    if (n == 0) return std::make_error_code(std::errc::no_space_on_device);
    written += static_cast<std::size_t>(n);
    bytes = bytes.subspan(static_cast<std::size_t>(n));
  }
  return {};
}

std::error_code writeAllWith(WriteCall call, int fd, std::span<const std::uint8_t> bytes) {
  std::size_t written = 0;
  return writeAllWith(call, fd, bytes, written);
}

namespace {

std::optional<std::uint64_t> systemFreeBytes(const std::filesystem::path& path) {
  struct statvfs info {};
  if (::statvfs(path.c_str(), &info) != 0) return std::nullopt;
  return std::uint64_t(info.f_bavail) * std::uint64_t(info.f_frsize);
}

FreeBytesCall freeBytesCall = systemFreeBytes;

}  // namespace

FreeBytesCall replaceFreeBytesCall(FreeBytesCall call) {
  const FreeBytesCall previous = freeBytesCall;
  freeBytesCall = call ? call : systemFreeBytes;
  return previous;
}

WriteCall replaceWriteCall(WriteCall call) {
  const WriteCall previous = writeCall;
  writeCall = call ? call : ::write;
  return previous;
}

}  // namespace detail

std::optional<std::uint64_t> freeBytes(const std::filesystem::path& path) {
  return detail::freeBytesCall(path);
}

std::error_code writeAll(int fd, std::span<const std::uint8_t> bytes) {
  return detail::writeAllWith(writeCall, fd, bytes);
}

std::error_code writeAll(int fd, std::span<const std::uint8_t> bytes, std::size_t& written) {
  return detail::writeAllWith(writeCall, fd, bytes, written);
}

std::error_code writeAll(int fd, const void* data, std::size_t size) {
  return writeAll(fd, {static_cast<const std::uint8_t*>(data), size});
}

std::error_code readWholeFile(const std::filesystem::path& path, std::string& out) {
  out.clear();
  FileHandle file(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
  if (!file.isOpen()) return lastError();
  struct stat st {};
  if (::fstat(file.fd(), &st) != 0) return lastError();
  if (S_ISDIR(st.st_mode)) return std::make_error_code(std::errc::is_a_directory);
  if (!S_ISREG(st.st_mode)) return std::make_error_code(std::errc::invalid_argument);
  out.reserve(std::size_t(st.st_size));
  char chunk[65536];
  for (;;) {
    const ssize_t n = ::read(file.fd(), chunk, sizeof chunk);
    if (n < 0) {
      if (errno == EINTR) continue;
      return lastError();
    }
    if (n == 0) break;
    out.append(chunk, std::size_t(n));
  }
  return {};
}

void setDurabilityWaits(bool on) {
  waitForDisk = on;
}

bool durabilityWaits() {
  return waitForDisk;
}

std::error_code syncFolder(const std::filesystem::path& folder) {
  if (!waitForDisk) return {};
  const std::filesystem::path dir = folder.empty() ? std::filesystem::path(".") : folder;
  FileHandle handle(::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (!handle.isOpen()) return lastError();
  if (::fsync(handle.fd()) != 0) return lastError();
  return handle.close();
}

std::filesystem::path temporaryPathFor(const std::filesystem::path& target) {
  return target.parent_path() / ("." + target.filename().string() + ".tmp");
}

std::error_code replaceFileContents(const std::filesystem::path& target,
                                    std::initializer_list<std::span<const std::uint8_t>> parts) {
  const std::filesystem::path temp = temporaryPathFor(target);
  FileHandle file(::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, kNewFileMode));
  if (!file.isOpen()) return lastError();
  std::error_code error;
  for (const auto part : parts) {
    if ((error = writeAll(file.fd(), part))) break;
  }
  if (!error && waitForDisk && ::fsync(file.fd()) != 0) error = lastError();
  if (const std::error_code closed = file.close(); !error) error = closed;
  if (!error && ::rename(temp.c_str(), target.c_str()) != 0) error = lastError();
  if (error) {
    ::unlink(temp.c_str());
    return error;
  }
  // The new contents are in place; a folder that cannot be synced only leaves the rename less
  // durable, and reporting it as a failure would make the caller write the same change again.
  syncFolder(target.parent_path());
  return {};
}

std::error_code replaceFileContents(const std::filesystem::path& target, std::string_view bytes) {
  return replaceFileContents(
      target, {std::span(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size())});
}

std::string describeFailure(const std::filesystem::path& path, std::string_view action,
                            const std::error_code& error) {
  std::string text = path.filename().string();
  text += ": cannot ";
  text += action;
  text += ": ";
  text += error.message();
  return text;
}

}  // namespace parvolin::base
