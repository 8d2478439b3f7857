#pragma once

// Scratch places and the well-formedness check of a recording folder, shared by the fuzz
// targets that run the engine and by the tests that replay their saved corpora.

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include <unistd.h>

#include "base/audio_block.h"
#include "engine/call_log.h"
#include "engine/html_list.h"
#include "engine/recording_files.h"

namespace parvolin::fuzz {

// A path in memory-backed storage when there is one, unique to this process and `tag`.
inline std::filesystem::path fuzzScratchPath(const std::string& tag) {
  std::error_code ec;
  std::filesystem::path dir = "/dev/shm";
  if (!std::filesystem::is_directory(dir, ec)) dir = std::filesystem::temp_directory_path(ec);
  return dir / ("parvolin-" + tag + "-" + std::to_string(::getpid()));
}

inline bool isRecordingName(const std::string& name) {
  const auto dot = name.rfind('.');
  if (dot == std::string::npos) return false;
  const std::string ext = name.substr(dot + 1);
  // The digit is the unit's audio mode as the unit reported it, written in hex: a unit that
  // reports a mode outside 0-3 gets a longer one.
  if (ext.size() < 3 || ext.size() > 4 || ext.compare(0, 2, "LV") != 0) return false;
  return ext.find_first_not_of("0123456789ABCDEF", 2) == std::string::npos;
}

// Aborts unless every file of `folder` is well formed: recordings whole 512-byte blocks, the
// call log whole records, the list starting with its fixed header. No other file may be left.
inline void checkFolderWellFormed(const std::filesystem::path& folder,
                                  const std::string& listName) {
  std::error_code ec;
  for (const auto& entry : std::filesystem::directory_iterator(folder, ec)) {
    const std::string name = entry.path().filename().string();
    const auto size = std::filesystem::file_size(entry.path(), ec);
    if (ec) std::abort();
    if (isRecordingName(name)) {
      if (size % base::kAudioBlockSize != 0) std::abort();
    } else if (name == engine::kCallLogName) {
      if (size % engine::kCallRecordSize != 0) std::abort();
    } else if (name == listName) {
      std::ifstream in(entry.path(), std::ios::binary);
      const std::string text{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
      if (text.compare(0, engine::kHtmlHeaderSize, engine::kHtmlHeader) != 0) std::abort();
    } else {
      std::abort();
    }
  }
  if (ec) std::abort();
}

}  // namespace parvolin::fuzz
