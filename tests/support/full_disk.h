#pragma once

#include <sys/types.h>

#include <cstddef>

#include "base/file_io.h"

namespace parvolin::test {

// A disk that fills up, for the files of this process: while a FullDisk lives, every write of
// base::writeAll (recordings, the call log, the list, captures) takes at most `room` bytes in
// all; a write beyond fails with ENOSPC after what still fitted, as on a full disk. makeRoom()
// frees space, as a user who deletes files does. base::freeBytes reports the room left. Tests run
// one per process, so the writes of other tests never count.
class FullDisk {
 public:
  explicit FullDisk(std::size_t room);
  ~FullDisk();
  FullDisk(const FullDisk&) = delete;
  FullDisk& operator=(const FullDisk&) = delete;

  void makeRoom(std::size_t bytes) { room_ += bytes; }
  std::size_t room() const { return room_; }

 private:
  static ssize_t write(int fd, const void* data, std::size_t size);
  static std::optional<std::uint64_t> freeBytes(const std::filesystem::path& path);
  static inline std::size_t room_ = 0;
  base::detail::WriteCall previous_;
  base::detail::FreeBytesCall previousFree_;
};

}  // namespace parvolin::test
