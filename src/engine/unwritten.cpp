#include "engine/unwritten.h"

#include <cstdio>

#include "codec/lv_format.h"

namespace parvolin::engine {
namespace {

// "1 row", "2 rows".
std::string counted(std::uint64_t n, const char* thing) {
  return std::to_string(n) + " " + thing + (n == 1 ? "" : "s");
}

std::string blocksLine(const RecordingBlocks& r, const char* what) {
  char seconds[48];
  std::snprintf(seconds, sizeof seconds, " (%.1f s) ", r.seconds);
  return r.file + ": " + counted(r.blocks, "audio block") + seconds + what;
}

}  // namespace

double blockSeconds(std::uint64_t blocks, int mode) {
  return static_cast<double>(blocks) * static_cast<double>(codec::samplesPerBlock(mode)) /
         static_cast<double>(codec::kSamplesPerSecond);
}

RecordingBlocks recordingBlocks(const std::string& file, int mode, std::uint64_t blocks) {
  return {file, blocks, blockSeconds(blocks, mode)};
}

std::vector<std::string> UnwrittenSummary::describe(std::string_view logName,
                                                    std::string_view listName) const {
  std::vector<std::string> lines;
  if (empty()) return lines;
  lines.emplace_back("Not everything recorded reached the disk:");
  for (const RecordingBlocks& r : held) lines.push_back(blocksLine(r, "not written"));
  for (const RecordingBlocks& r : lost) {
    lines.push_back(blocksLine(r, "lost: they came while its buffer was full"));
  }
  if (logRecords != 0) {
    lines.push_back(std::string(logName) + ": " + counted(logRecords, "call record") +
                    " not written");
  }
  if (rows != 0) {
    lines.push_back(std::string(listName) + ": " + counted(rows, "row") + " not written");
  }
  return lines;
}

}  // namespace parvolin::engine
