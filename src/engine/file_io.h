#pragma once

#include <cstddef>
#include <filesystem>
#include <string>
#include <string_view>
#include <system_error>

// Small POSIX file helpers shared by the engine's writers. Every function returns an empty
// error_code on success and the system's error otherwise; none throws.
namespace parvolin::engine {

// An owned file descriptor, closed when it goes out of scope.
class FileHandle {
 public:
  FileHandle() = default;
  explicit FileHandle(int fd) : fd_(fd) {}
  FileHandle(FileHandle&& other) noexcept : fd_(other.release()) {}
  FileHandle& operator=(FileHandle&& other) noexcept;
  FileHandle(const FileHandle&) = delete;
  FileHandle& operator=(const FileHandle&) = delete;
  ~FileHandle() { close(); }

  bool isOpen() const { return fd_ >= 0; }
  int fd() const { return fd_; }
  int release() {
    const int fd = fd_;
    fd_ = -1;
    return fd;
  }
  // Closes the descriptor; reports a failed close (a write the system could not complete).
  std::error_code close();

 private:
  int fd_ = -1;
};

// Opens an existing file for reading and writing; never creates one.
std::error_code openExisting(const std::filesystem::path& path, FileHandle& out);
// Creates a new file for reading and writing; fails with EEXIST when any directory entry of
// that name is there (a dangling link included), so it never replaces a file.
std::error_code createExclusive(const std::filesystem::path& path, FileHandle& out);

// Writes all `size` bytes, going on after partial writes and interruptions.
std::error_code writeAll(int fd, const void* data, std::size_t size);

// Reads a whole file into `out`. ENOENT when the file does not exist.
std::error_code readWholeFile(const std::filesystem::path& path, std::string& out);

// Replaces `path` with `bytes` so that a crash leaves either the old or the new contents: the
// bytes go to a hidden temporary file beside it (".NAME.tmp"), which is synced and renamed over
// `path`, and then the folder is synced. On failure `path` is untouched and the temporary file
// removed.
std::error_code writeFileAtomically(const std::filesystem::path& path, std::string_view bytes);

// Makes the folder's entries (creations, renames) durable.
std::error_code syncFolder(const std::filesystem::path& folder);

// "name: reason" for a diagnostic line.
std::string describeFailure(const std::filesystem::path& path, std::string_view action,
                            const std::error_code& error);

}  // namespace parvolin::engine
