#include "engine/call_log.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <string>

#include "base/file_io.h"
#include "device/unit_link.h"

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

namespace {

// Records read at a time.
constexpr std::size_t kReadRecords = 2048;

}  // namespace

CallLogReader::CallLogReader() = default;

std::error_code CallLogReader::open(const std::filesystem::path& file) {
  file_ = base::FileHandle(::open(file.c_str(), O_RDONLY | O_CLOEXEC));
  begin_ = end_ = 0;
  offset_ = 0;
  atEnd_ = false;
  tornBytes_ = 0;
  error_ = {};
  if (!file_.isOpen()) return {errno, std::generic_category()};
  struct stat st {};
  std::error_code error;
  if (::fstat(file_.fd(), &st) != 0) {
    error = {errno, std::generic_category()};
  } else if (S_ISDIR(st.st_mode)) {
    error = std::make_error_code(std::errc::is_a_directory);
  } else if (!S_ISREG(st.st_mode)) {
    error = std::make_error_code(std::errc::invalid_argument);
  }
  if (error) {
    file_ = base::FileHandle();
    return error;
  }
  // Room for the whole log and one record more (it may grow while it is read), up to the
  // fixed size: a short log, the usual one, is not read through a buffer of 64 KiB. A buffer
  // kept from an earlier log is reused.
  const std::size_t records = std::min(kReadRecords, std::size_t(st.st_size) / kCallRecordSize + 1);
  if (buffer_.size() < records * kCallRecordSize) buffer_.resize(records * kCallRecordSize);
  return {};
}

// Moves the unread bytes to the front and reads behind them; false when nothing more came.
bool CallLogReader::fill() {
  if (atEnd_ || !file_.isOpen()) return false;
  std::memmove(buffer_.data(), buffer_.data() + begin_, end_ - begin_);
  end_ -= begin_;
  begin_ = 0;
  while (end_ < buffer_.size()) {
    const ssize_t n = ::read(file_.fd(), buffer_.data() + end_, buffer_.size() - end_);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) error_ = {errno, std::generic_category()};
    if (n <= 0) {
      atEnd_ = true;
      break;
    }
    end_ += std::size_t(n);
  }
  return end_ - begin_ >= kCallRecordSize;
}

bool CallLogReader::endOfRecords() {
  tornBytes_ = error_ ? 0 : end_ - begin_;
  return false;
}

std::string whyNotARealCall(const CallRecord& record) {
  if (record.portIndex >= device::kMaxPorts) {
    return "port " + std::to_string(record.portIndex + 1) + " is above 16";
  }
  if (!isLoggedCallType(record.callType)) {
    return "call type " + std::to_string(record.callType) + " is never logged";
  }
  return {};
}

std::error_code readCallLog(const std::filesystem::path& file, CallLogContents& out) {
  out = {};
  CallLogReader reader;
  if (std::error_code error = reader.open(file)) return error;
  CallRecord record;
  std::uint64_t offset = 0;
  while (reader.next(record, offset)) out.records.push_back(record);
  out.tornBytes = reader.tornBytes();
  return reader.error();
}

}  // namespace parvolin::engine
