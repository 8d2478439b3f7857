#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <span>
#include <system_error>

namespace parvolin::engine {

// What a write of audio blocks to a recording did.
struct BlockWrite {
  std::size_t bytes = 0;  // bytes that went into the file: whole blocks
  std::error_code error;  // why the rest did not
  bool opened = true;     // appendToRecordingFile: the file was opened or created
};

// Appends to the recording open at `fd`, which holds `written` bytes (whole blocks), as many whole
// blocks of `bytes` as the file takes: a disk that fills up part-way keeps what fitted, and a
// block written in part is cut off again, so that the file always ends on a whole block and the
// file position stays at its end.
[[nodiscard]] BlockWrite appendWholeBlocks(int fd, std::uint64_t written,
                                           std::span<const std::uint8_t> bytes);

enum class RecordingFile { kExists, kCreate };

// The same for a recording that is not open: opened (kExists) or created anew (kCreate, never
// replacing a file), written as above and closed. Bytes beyond `written` (the part of a block a
// crash left) are cut off first.
[[nodiscard]] BlockWrite appendToRecordingFile(const std::filesystem::path& file, RecordingFile how,
                                               std::uint64_t written,
                                               std::span<const std::uint8_t> bytes);

}  // namespace parvolin::engine
