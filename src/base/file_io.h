#pragma once

#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <initializer_list>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <system_error>

// The one place where files are written: small POSIX helpers for the engine's writers and the
// codec's conversions. Every function returns an empty error_code on success and the system's
// error otherwise; none throws.
namespace parvolin::base {

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
  // Closes the descriptor; reports a failed close (a write the system could not complete). A
  // caller that drops the file (a call not kept, a capture stopped) may leave that unreported.
  std::error_code close();

 private:
  int fd_ = -1;
};

// Opens an existing file for reading and writing; never creates one.
[[nodiscard]] std::error_code openExisting(const std::filesystem::path& path, FileHandle& out);
// Creates a new file for reading and writing; fails with EEXIST when any directory entry of
// that name is there (a dangling link included), so it never replaces a file.
[[nodiscard]] std::error_code createExclusive(const std::filesystem::path& path, FileHandle& out);

// Writes all of `bytes`, going on after partial writes and interruptions. A write that takes
// nothing (returns 0) is a failure, ENOSPC, never a reason to try again.
[[nodiscard]] std::error_code writeAll(int fd, std::span<const std::uint8_t> bytes);
[[nodiscard]] std::error_code writeAll(int fd, const void* data, std::size_t size);
// As writeAll; `written` counts the bytes that went in, also when the write failed part-way (a
// disk that filled up takes what fits).
[[nodiscard]] std::error_code writeAll(int fd, std::span<const std::uint8_t> bytes,
                                       std::size_t& written);

// Reads a whole file into `out`. ENOENT when the file does not exist, EISDIR for a folder, EINVAL
// for anything else that is not a regular file (a device, a pipe).
[[nodiscard]] std::error_code readWholeFile(const std::filesystem::path& path, std::string& out);

// Writes `parts` one after the other as the new contents of `target` so that a crash or a full
// disk never leaves a half-written file under that name: the bytes go to a hidden temporary file
// beside it (temporaryPathFor), which is synced and renamed over `target`, and then the folder is
// synced. On failure `target` is as it was and the temporary file is removed.
[[nodiscard]] std::error_code replaceFileContents(
    const std::filesystem::path& target,
    std::initializer_list<std::span<const std::uint8_t>> parts);
[[nodiscard]] std::error_code replaceFileContents(const std::filesystem::path& target,
                                                  std::string_view bytes);

// ".NAME.tmp" beside `target`: the temporary file of replaceFileContents.
std::filesystem::path temporaryPathFor(const std::filesystem::path& target);

// Makes the folder's entries (creations, renames) durable. A caller may leave a failure
// unreported: the entries are in place all the same, only less sure to survive a crash.
std::error_code syncFolder(const std::filesystem::path& folder);

// Whether replaceFileContents and syncFolder wait for the disk (on by default). Only a process
// that throws its files away, such as a fuzz target writing into memory, turns the waits off;
// the files' contents and names are the same either way.
void setDurabilityWaits(bool on);
bool durabilityWaits();

// "name: cannot <action>: reason" for a diagnostic line.
std::string describeFailure(const std::filesystem::path& path, std::string_view action,
                            const std::error_code& error);

// The bytes an unprivileged program may still write on the file system of `path`; nothing when
// it cannot be told.
std::optional<std::uint64_t> freeBytes(const std::filesystem::path& path);

namespace detail {
// writeAll over a given write call, so that a test can stand in for the system's.
using WriteCall = ssize_t (*)(int fd, const void* data, std::size_t size);
[[nodiscard]] std::error_code writeAllWith(WriteCall call, int fd,
                                           std::span<const std::uint8_t> bytes);
[[nodiscard]] std::error_code writeAllWith(WriteCall call, int fd,
                                           std::span<const std::uint8_t> bytes,
                                           std::size_t& written);
// The write call behind every writeAll of the process: the system's, unless a test put another in
// its place (a disk that fills up). Returns the one it replaced.
WriteCall replaceWriteCall(WriteCall call);
// The call behind freeBytes, likewise (a test's disk reports its own room). Returns the one it
// replaced.
using FreeBytesCall = std::optional<std::uint64_t> (*)(const std::filesystem::path& path);
FreeBytesCall replaceFreeBytesCall(FreeBytesCall call);
}  // namespace detail

}  // namespace parvolin::base
