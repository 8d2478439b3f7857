#include "player/sample_store.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <bit>
#include <cerrno>
#include <new>
#include <string>

namespace parvolin::player {

namespace {

static_assert(std::endian::native == std::endian::little,
              "the store keeps samples little-endian as they lie in memory");

// An unnamed file in `folder`; where the file system cannot make one, a named one that is
// removed at once.
int openUnnamedFile(const std::filesystem::path& folder) {
#ifdef O_TMPFILE
  const int fd = ::open(folder.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
  if (fd >= 0) return fd;
#endif
  std::string pattern = (folder / ".lvplayer-XXXXXX").string();
  const int named = ::mkostemp(pattern.data(), O_CLOEXEC);
  if (named >= 0) ::unlink(pattern.c_str());
  return named;
}

// Moves all `length` bytes at `offset` with `transfer` (pread or pwrite), however many calls it
// takes.
template <class Bytes, class Transfer>
bool transferAll(int fd, Bytes* bytes, std::size_t length, off_t offset, Transfer transfer) {
  while (length > 0) {
    const ssize_t n = transfer(fd, bytes, length, offset);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    bytes += n;
    length -= static_cast<std::size_t>(n);
    offset += n;
  }
  return true;
}

bool writeAt(int fd, const std::uint8_t* bytes, std::size_t length, off_t offset) {
  return transferAll(fd, bytes, length, offset, ::pwrite);
}

bool readAt(int fd, std::uint8_t* bytes, std::size_t length, off_t offset) {
  return transferAll(fd, bytes, length, offset, ::pread);
}

}  // namespace

SampleStore::SampleStore(const std::filesystem::path& folder) : file_(openUnnamedFile(folder)) {}

void SampleStore::closeFile() {
  // The file only ever held a copy: a failed close loses nothing.
  static_cast<void>(file_.close());
}

bool SampleStore::append(std::span<const std::int16_t> samples) {
  if (broken_) return false;
  if (file_.isOpen()) {
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(samples.data());
    if (writeAt(file_.fd(), bytes, samples.size_bytes(), static_cast<off_t>(count_ * 2))) {
      count_ += samples.size();
      return true;
    }
    // A full disk, say: what the file holds so far goes to memory, and so does the rest.
    if (!moveToMemory()) return false;
  }
  try {
    memory_.insert(memory_.end(), samples.begin(), samples.end());
  } catch (const std::bad_alloc&) {
    broken_ = true;
    memory_ = {};
    count_ = 0;
    return false;
  }
  count_ += samples.size();
  return true;
}

bool SampleStore::moveToMemory() {
  try {
    memory_.resize(count_);
  } catch (const std::bad_alloc&) {
    memory_ = {};
  }
  const bool moved =
      memory_.size() == count_ &&
      readAt(file_.fd(), reinterpret_cast<std::uint8_t*>(memory_.data()), count_ * 2, 0);
  closeFile();
  if (!moved) {
    broken_ = true;
    memory_ = {};
    count_ = 0;
  }
  return moved;
}

bool SampleStore::read(std::span<std::int16_t> out, std::size_t first) const {
  if (broken_ || first > count_ || out.size() > count_ - first) return false;
  if (file_.isOpen()) {
    return readAt(file_.fd(), reinterpret_cast<std::uint8_t*>(out.data()), out.size_bytes(),
                  static_cast<off_t>(first * 2));
  }
  const auto from = memory_.begin() + static_cast<std::ptrdiff_t>(first);
  std::copy(from, from + static_cast<std::ptrdiff_t>(out.size()), out.begin());
  return true;
}

}  // namespace parvolin::player
