#include "engine/stream_capture.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <limits>

#include "base/little_endian.h"

namespace parvolin::engine {
namespace {

constexpr std::size_t kReservedOffset = 12;
constexpr std::size_t kUnitEntriesOffset = 16;
constexpr std::size_t kUnitEntrySize = 4;
constexpr std::uint8_t kKnownUnitFlags = kUnitListed | kUnitIdle | kUnitSetUp;
// Flushed early when this much is waiting, so a tick never holds more than a few reads.
constexpr std::size_t kFlushThreshold = 64 * 1024;

std::string unitReason(const char* format, unsigned value) {
  char text[96];
  std::snprintf(text, sizeof text, format, value);
  return text;
}

}  // namespace

std::array<std::uint8_t, kCaptureHeaderSize> encodeCaptureHeader(const CaptureHeader& header) {
  std::array<std::uint8_t, kCaptureHeaderSize> out{};
  std::memcpy(out.data(), kCaptureMagic, kCaptureMagicSize);
  base::storeLe32(out.data() + 8, header.startEpoch);
  for (std::size_t u = 0; u < header.units.size(); ++u) {
    std::uint8_t* entry = out.data() + kUnitEntriesOffset + u * kUnitEntrySize;
    entry[0] = header.units[u].flags;
    entry[1] = header.units[u].audioMode;
    entry[2] = header.units[u].varOffDelay;
  }
  return out;
}

// --- Writer ----------------------------------------------------------------------------------

std::unique_ptr<CaptureWriter> CaptureWriter::create(const std::filesystem::path& path,
                                                     const CaptureHeader& header,
                                                     base::Diagnostics& diagnostics,
                                                     std::error_code& error,
                                                     ExistingFile existing) {
  const int how = existing == ExistingFile::kRefuse ? O_EXCL : O_TRUNC;
  base::FileHandle file(::open(path.c_str(), O_WRONLY | O_CREAT | how | O_CLOEXEC, 0644));
  if (!file.isOpen()) {
    error = {errno, std::generic_category()};
    return nullptr;
  }
  const auto bytes = encodeCaptureHeader(header);
  error = base::writeAll(file.fd(), bytes.data(), bytes.size());
  if (error) return nullptr;
  return std::unique_ptr<CaptureWriter>(
      new CaptureWriter(std::move(file), path, header, diagnostics));
}

CaptureWriter::CaptureWriter(base::FileHandle file, std::filesystem::path path,
                             const CaptureHeader& header, base::Diagnostics& diagnostics)
    : file_(std::move(file)), path_(std::move(path)), header_(header), diagnostics_(diagnostics) {
  pending_.reserve(kFlushThreshold + kCaptureRecordHeaderSize + kCaptureMaxLength);
}

CaptureWriter::~CaptureWriter() {
  flush();
}

void CaptureWriter::append(int unit, std::span<const std::uint8_t> bytes, std::int64_t wallMs) {
  if (!isActive() || bytes.empty()) return;
  if (unit < 0 || unit > 3 || bytes.size() > kCaptureMaxLength) return;
  // A unit plugged in after the capture began is not in its header: a reader would refuse the
  // whole capture for its reads.
  if (!header_.units[std::size_t(unit)].listed()) return;
  // A wall clock stepped back keeps the previous time: timeMs never decreases.
  const std::int64_t timeMs =
      std::max(lastTimeMs_, wallMs - std::int64_t(header_.startEpoch) * 1000);
  if (timeMs > std::numeric_limits<std::uint32_t>::max()) {
    stop("the capture has reached its longest time span");
    return;
  }
  lastTimeMs_ = timeMs;
  std::uint8_t head[kCaptureRecordHeaderSize] = {};
  base::storeLe32(head, std::uint32_t(timeMs));
  head[4] = std::uint8_t(unit);
  base::storeLe16(head + 6, std::uint16_t(bytes.size()));
  pending_.insert(pending_.end(), head, head + sizeof head);
  pending_.insert(pending_.end(), bytes.begin(), bytes.end());
  ++records_;
  if (pending_.size() >= kFlushThreshold) flush();
}

void CaptureWriter::flush() {
  if (!isActive() || pending_.empty()) return;
  const std::error_code error = base::writeAll(file_.fd(), pending_.data(), pending_.size());
  pending_.clear();
  if (error) stop(error.message());
}

void CaptureWriter::stop(const std::string& why) {
  file_.close();
  pending_.clear();
  diagnostics_.report(path_.filename().string() + ": capture stopped: " + why);
}

// --- Reader ----------------------------------------------------------------------------------

CaptureReader::~CaptureReader() {
  if (file_) std::fclose(file_);
}

bool CaptureReader::open(const std::filesystem::path& path, CaptureFault& fault,
                         std::error_code& ioError) {
  file_ = std::fopen(path.c_str(), "rb");
  if (!file_) {
    ioError = {errno, std::generic_category()};
    return false;
  }
  // A folder opens for reading on Linux and reads as nothing: say what it is.
  struct stat st {};
  if (::fstat(::fileno(file_), &st) != 0 || !S_ISREG(st.st_mode)) {
    ioError = std::make_error_code(S_ISDIR(st.st_mode) ? std::errc::is_a_directory
                                                       : std::errc::invalid_argument);
    return false;
  }
  std::array<std::uint8_t, kCaptureHeaderSize> head{};
  const std::size_t got = std::fread(head.data(), 1, head.size(), file_);
  if (got == 0 || std::memcmp(head.data(), kCaptureMagic, std::min(got, kCaptureMagicSize)) != 0) {
    fault = {0, std::string("not a stream capture: no ") + kCaptureMagic + " header"};
    return false;
  }
  if (got < kCaptureHeaderSize) {
    fault = {got, "header cut short"};
    return false;
  }
  header_.startEpoch = base::loadLe32(head.data() + 8);
  for (std::size_t i = kReservedOffset; i < kUnitEntriesOffset; ++i) {
    if (head[i] != 0) {
      fault = {i, "reserved header byte is not 0"};
      return false;
    }
  }
  for (unsigned u = 0; u < device::kMaxUnits; ++u) {
    const std::size_t at = kUnitEntriesOffset + u * kUnitEntrySize;
    if (head[at] & ~kKnownUnitFlags) {
      fault = {at, unitReason("unit %u has unknown flag bits", u)};
      return false;
    }
    if (head[at + 3] != 0) {
      fault = {at + 3, unitReason("reserved byte of unit %u is not 0", u)};
      return false;
    }
    header_.units[u] = {head[at], head[at + 1], head[at + 2]};
  }
  offset_ = kCaptureHeaderSize;
  return true;
}

CaptureReader::Step CaptureReader::next(CaptureRecord& record, CaptureFault& fault) {
  std::uint8_t head[kCaptureRecordHeaderSize];
  const std::size_t got = std::fread(head, 1, sizeof head, file_);
  if (got == 0) return Step::kEnd;
  if (got < sizeof head) {
    fault = {offset_, "last record cut short"};
    return Step::kCutShort;
  }
  const std::uint32_t timeMs = base::loadLe32(head);
  const std::uint8_t unit = head[4];
  const std::uint16_t length = base::loadLe16(head + 6);
  if (unit > 3) {
    fault = {offset_ + 4, unitReason("unit %u is above 3", unit)};
    return Step::kFault;
  }
  if (head[5] != 0) {
    fault = {offset_ + 5, "reserved record byte is not 0"};
    return Step::kFault;
  }
  if (!header_.units[unit].listed()) {
    fault = {offset_ + 4, unitReason("record for unit %u, which is not listed", unit)};
    return Step::kFault;
  }
  if (length == 0 || length > kCaptureMaxLength) {
    fault = {offset_ + 6, unitReason("length %u is not 1 to 2048", length)};
    return Step::kFault;
  }
  if (std::int64_t(timeMs) < lastTimeMs_) {
    fault = {offset_, unitReason("timeMs %u is before the previous record's", timeMs)};
    return Step::kFault;
  }
  if (std::fread(bytes_.data(), 1, length, file_) < length) {
    fault = {offset_, "last record cut short"};
    return Step::kCutShort;
  }
  lastTimeMs_ = timeMs;
  record = {offset_, timeMs, unit, {bytes_.data(), length}};
  offset_ += kCaptureRecordHeaderSize + length;
  return Step::kRecord;
}

CaptureCheck checkCapture(const std::filesystem::path& path) {
  CaptureCheck check;
  CaptureReader reader;
  CaptureFault fault;
  if (!reader.open(path, fault, check.ioError)) {
    if (!check.ioError) check.fault = fault;
    return check;
  }
  check.summary.header = reader.header();
  CaptureRecord record;
  for (;;) {
    const CaptureReader::Step step = reader.next(record, fault);
    if (step == CaptureReader::Step::kEnd) break;
    if (step == CaptureReader::Step::kCutShort) {
      check.summary.cutShortAt = fault.offset;
      break;
    }
    if (step == CaptureReader::Step::kFault) {
      check.fault = fault;
      break;
    }
    if (check.summary.records == 0) check.summary.firstTimeMs = record.timeMs;
    check.summary.lastTimeMs = record.timeMs;
    ++check.summary.records;
    check.summary.streamBytes += record.bytes.size();
  }
  return check;
}

std::string describeCaptureFault(const std::filesystem::path& path, const CaptureFault& fault) {
  return path.string() + ": bad capture at byte " + std::to_string(fault.offset) + ": " +
         fault.reason;
}

}  // namespace parvolin::engine
