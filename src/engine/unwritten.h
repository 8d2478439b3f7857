#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace parvolin::engine {

// Audio of one recording, in 512-byte blocks.
struct RecordingBlocks {
  std::string file;
  std::uint64_t blocks = 0;
  double seconds = 0;  // the blocks' length at the recording's AudioMode
};

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
