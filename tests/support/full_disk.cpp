#include "support/full_disk.h"

#include <unistd.h>

#include <cerrno>

namespace parvolin::test {

FullDisk::FullDisk(std::size_t room) {
  room_ = room;
  previous_ = base::detail::replaceWriteCall(&FullDisk::write);
  previousFree_ = base::detail::replaceFreeBytesCall(&FullDisk::freeBytes);
}

FullDisk::~FullDisk() {
  base::detail::replaceWriteCall(previous_);
  base::detail::replaceFreeBytesCall(previousFree_);
}

std::optional<std::uint64_t> FullDisk::freeBytes(const std::filesystem::path&) {
  return room_;
}

ssize_t FullDisk::write(int fd, const void* data, std::size_t size) {
  if (room_ == 0) {
    errno = ENOSPC;
    return -1;
  }
  const ssize_t n = ::write(fd, data, size < room_ ? size : room_);
  if (n > 0) room_ -= std::size_t(n);
  return n;
}

}  // namespace parvolin::test
