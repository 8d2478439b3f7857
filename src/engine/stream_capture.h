#pragma once

// Stream captures (".pvcap"): every byte a recorder read from its units, in the chunks the reads
// returned, with the time of each read. Layout (little-endian):
//   header, 32 bytes: "PVCAP001", u32 startEpoch, u32 reserved 0, four unit entries of
//     {u8 flags (bit 0 listed, bit 1 idle, bit 2 setUp), u8 audioMode, u8 varOffDelay, u8 0};
//   records: u32 timeMs, u8 unit, u8 reserved 0, u16 length (1-2048), then the bytes.

#include <array>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <system_error>
#include <vector>

#include "base/diagnostics.h"
#include "base/file_io.h"
#include "device/stream_framing.h"
#include "device/unit_link.h"
#include "engine/output_files.h"

namespace parvolin::engine {

inline constexpr std::size_t kCaptureHeaderSize = 32;
inline constexpr std::size_t kCaptureRecordHeaderSize = 8;
// A record holds one stream read.
inline constexpr std::size_t kCaptureMaxLength = device::UnitStreamBuffer::kMaxRead;
inline constexpr char kCaptureMagic[] = "PVCAP001";
inline constexpr std::size_t kCaptureMagicSize = 8;

inline constexpr std::uint8_t kUnitListed = 0x01;
inline constexpr std::uint8_t kUnitIdle = 0x02;
inline constexpr std::uint8_t kUnitSetUp = 0x04;

struct CaptureUnit {
  std::uint8_t flags = 0;
  std::uint8_t audioMode = 3;
  std::uint8_t varOffDelay = 0;

  bool listed() const { return (flags & kUnitListed) != 0; }
  bool operator==(const CaptureUnit&) const = default;
};

struct CaptureHeader {
  std::uint32_t startEpoch = 0;
  std::array<CaptureUnit, device::kMaxUnits> units{};
  bool operator==(const CaptureHeader&) const = default;
};

std::array<std::uint8_t, kCaptureHeaderSize> encodeCaptureHeader(const CaptureHeader& header);

// Writes a capture as the reads come. Records are buffered and written by flush (every tick).
// A write that fails stops the capture: one diagnostic, and every later call does nothing.
class CaptureWriter {
 public:
  // Creates `path` and writes the header; an existing file is replaced, or with kRefuse left
  // as it is (error EEXIST). nullptr with `error` set on failure.
  [[nodiscard]] static std::unique_ptr<CaptureWriter> create(
      const std::filesystem::path& path, const CaptureHeader& header,
      base::Diagnostics& diagnostics, std::error_code& error,
      ExistingFile existing = ExistingFile::kReplace);
  ~CaptureWriter();

  // One read that returned bytes, `wallMs` being the wall clock when it returned. The record's
  // timeMs is wallMs - startEpoch * 1000, never less than the previous record's. Reads of a unit
  // the header does not list (one plugged in after the capture began) are not recorded.
  void append(int unit, std::span<const std::uint8_t> bytes, std::int64_t wallMs);
  void flush();
  bool isActive() const { return file_.isOpen(); }
  std::uint64_t recordCount() const { return records_; }

 private:
  CaptureWriter(base::FileHandle file, std::filesystem::path path, const CaptureHeader& header,
                base::Diagnostics& diagnostics);
  void stop(const std::string& why);

  base::FileHandle file_;
  std::filesystem::path path_;
  CaptureHeader header_;
  base::Diagnostics& diagnostics_;
  std::vector<std::uint8_t> pending_;
  std::int64_t lastTimeMs_ = 0;
  std::uint64_t records_ = 0;
};

// A fault that makes a capture unusable, at a byte offset of the file.
struct CaptureFault {
  std::uint64_t offset = 0;
  std::string reason;
};

struct CaptureRecord {
  std::uint64_t offset = 0;  // of the record's header in the file
  std::uint32_t timeMs = 0;
  std::uint8_t unit = 0;
  std::span<const std::uint8_t> bytes;  // valid until the next call of next()
};

// Reads a capture record by record, checking each as it goes.
class CaptureReader {
 public:
  enum class Step { kRecord, kEnd, kCutShort, kFault };

  ~CaptureReader();
  // Opens the file and checks the header. On failure returns false with `fault` set, or with
  // `ioError` set when the file cannot be read at all.
  [[nodiscard]] bool open(const std::filesystem::path& path, CaptureFault& fault,
                          std::error_code& ioError);
  const CaptureHeader& header() const { return header_; }
  // The next record; kCutShort when the file ends inside a record (`fault.offset` is where that
  // record begins), kFault for a record that breaks the format.
  Step next(CaptureRecord& record, CaptureFault& fault);

 private:
  std::FILE* file_ = nullptr;
  CaptureHeader header_;
  std::uint64_t offset_ = 0;
  std::int64_t lastTimeMs_ = -1;
  std::array<std::uint8_t, kCaptureMaxLength> bytes_{};
};

// What a whole capture holds, from one pass over it.
struct CaptureSummary {
  CaptureHeader header;
  std::uint64_t records = 0;
  std::uint64_t streamBytes = 0;
  std::uint32_t firstTimeMs = 0;
  std::uint32_t lastTimeMs = 0;
  std::optional<std::uint64_t> cutShortAt;  // offset of a last record cut short
};

struct CaptureCheck {
  std::optional<CaptureFault> fault;
  std::error_code ioError;
  CaptureSummary summary;
  bool ok() const { return !fault && !ioError; }
};

// Reads the whole capture once and says whether it can be replayed.
[[nodiscard]] CaptureCheck checkCapture(const std::filesystem::path& path);

// "FILE: bad capture at byte N: REASON"
std::string describeCaptureFault(const std::filesystem::path& path, const CaptureFault& fault);

}  // namespace parvolin::engine
