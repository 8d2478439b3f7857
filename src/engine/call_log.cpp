#include "engine/call_log.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <string>

#include "base/file_io.h"

namespace parvolin::engine {

std::error_code appendCallLog(const std::filesystem::path& folder, const CallRecord& record) {
  const std::filesystem::path path = folder / kCallLogName;
  base::FileHandle file;
  std::error_code error = base::openExisting(path, file);
  if (error == std::errc::no_such_file_or_directory) {
    error = base::createExclusive(path, file);
    // Someone made it between the two calls: append to theirs.
    if (error == std::errc::file_exists) error = base::openExisting(path, file);
  }
  if (error) return error;

  struct stat st {};
  if (::fstat(file.fd(), &st) != 0) return {errno, std::generic_category()};
  const off_t whole = st.st_size - st.st_size % off_t(kCallRecordSize);
  if (whole != st.st_size && ::ftruncate(file.fd(), whole) != 0) {
    return {errno, std::generic_category()};
  }
  if (::lseek(file.fd(), whole, SEEK_SET) < 0) return {errno, std::generic_category()};
  const auto bytes = encodeCallRecord(record);
  error = base::writeAll(file.fd(), bytes.data(), bytes.size());
  if (error) {
    // Leave no part of this record behind; the write's error is the one to report.
    [[maybe_unused]] const int cut = ::ftruncate(file.fd(), whole);
    return error;
  }
  return file.close();
}

std::error_code readCallLog(const std::filesystem::path& file, CallLogContents& out) {
  out = {};
  std::string bytes;
  if (std::error_code error = base::readWholeFile(file, bytes)) return error;
  const std::size_t whole = bytes.size() / kCallRecordSize;
  out.records.reserve(whole);
  for (std::size_t i = 0; i < whole; ++i) {
    const auto* p = reinterpret_cast<const std::uint8_t*>(bytes.data()) + i * kCallRecordSize;
    out.records.push_back(
        decodeCallRecord(std::span<const std::uint8_t, kCallRecordSize>(p, kCallRecordSize)));
  }
  out.tornBytes = bytes.size() % kCallRecordSize;
  return {};
}

}  // namespace parvolin::engine
