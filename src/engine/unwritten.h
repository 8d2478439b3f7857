#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace parvolin::engine {

// Free space of the recording folder's disk below which no audio is written, so that the call
// log and the list always find room: 4 MiB holds a rewrite of a list of about 25,000 rows
// (about 160 bytes each; the list is rewritten whole beside itself) and many thousands of 32-byte
// call records besides, while costing only about half a minute of sixteen lines' audio (8000
// bytes a second each).
inline constexpr std::uint64_t kDiskReserveBytes = 4u << 20;
// Below this much free space the user is warned that audio will soon stop: four times the
// reserve, about two minutes of sixteen lines recording at once.
inline constexpr std::uint64_t kDiskWarningBytes = 4 * kDiskReserveBytes;
// How the recording folder's disk stands, as last looked at (once per kAudioWritePeriodMs, and
// before every write of audio).
enum class DiskSpace {
  kEnough,   // more than kDiskWarningBytes free (or the free space cannot be told)
  kLow,      // kDiskWarningBytes or less: audio is still written
  kReserve,  // kDiskReserveBytes or less: no more audio is written; records and rows still are
};

// Audio of one recording, in 512-byte blocks.
struct RecordingBlocks {
  std::string file;
  std::uint64_t blocks = 0;
  double seconds = 0;  // the blocks' length at the recording's AudioMode
};

// The length of `blocks` audio blocks recorded at AudioMode `mode`, in seconds.
double blockSeconds(std::uint64_t blocks, int mode);
// `blocks` blocks of the recording `file`, made at AudioMode `mode`.
RecordingBlocks recordingBlocks(const std::string& file, int mode, std::uint64_t blocks);

// What a run recorded but could not put on disk, as the engine holds it now. Empty after a run
// that lost nothing.
struct UnwrittenSummary {
  std::vector<RecordingBlocks> held;  // audio still in memory: its file did not take it
  std::vector<RecordingBlocks> lost;  // audio turned away while a recording's buffer was full
  std::size_t logRecords = 0;         // call log records not written
  std::size_t rows = 0;               // HTML list rows not written

  bool empty() const { return held.empty() && lost.empty() && logRecords == 0 && rows == 0; }
  // Lines for the user: a heading, then one line per recording and one for the records and the
  // rows. `logName` and `listName` are the files the records and rows belong in. None when empty.
  std::vector<std::string> describe(std::string_view logName, std::string_view listName) const;
};

}  // namespace parvolin::engine
