#include "engine/recording_writes.h"

#include <unistd.h>

#include <cerrno>

#include "base/audio_block.h"
#include "base/file_io.h"

namespace parvolin::engine {

BlockWrite appendWholeBlocks(int fd, std::uint64_t written, std::span<const std::uint8_t> bytes) {
  BlockWrite result;
  std::size_t taken = 0;
  result.error = base::writeAll(fd, bytes, taken);
  result.bytes = taken - taken % base::kAudioBlockSize;
  if (result.bytes != taken) {
    // The part of a block that fitted is no recording; the next write starts where it began.
    const off_t end = off_t(written + result.bytes);
    [[maybe_unused]] const int cut = ::ftruncate(fd, end);
    [[maybe_unused]] const off_t at = ::lseek(fd, end, SEEK_SET);
  }
  return result;
}

BlockWrite appendToRecordingFile(const std::filesystem::path& file, RecordingFile how,
                                 std::uint64_t written, std::span<const std::uint8_t> bytes) {
  BlockWrite result;
  base::FileHandle handle;
  result.error = how == RecordingFile::kCreate ? base::createExclusive(file, handle)
                                               : base::openExisting(file, handle);
  if (result.error) {
    result.opened = false;
    return result;
  }
  if (::ftruncate(handle.fd(), off_t(written)) != 0 ||
      ::lseek(handle.fd(), off_t(written), SEEK_SET) < 0) {
    result.error = {errno, std::generic_category()};
    return result;
  }
  result = appendWholeBlocks(handle.fd(), written, bytes);
  if (const std::error_code closed = handle.close(); !result.error) result.error = closed;
  return result;
}

}  // namespace parvolin::engine
