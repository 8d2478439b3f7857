#pragma once

// What the fuzz targets share with the tests that replay their saved corpora: each target's body
// is a check that runs one input in a scratch folder it is given and returns what went wrong
// (empty when the input ran clean). A libFuzzer target runs it through runFuzzInput, which
// aborts on a failure; the corpus replay reports the failure with the input's name.

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <string_view>

#include "base/audio_block.h"
#include "base/file_io.h"
#include "base/folder_lock.h"
#include "codec/wav_header.h"
#include "engine/call_log.h"
#include "engine/engine.h"
#include "engine/html_list.h"
#include "engine/recording_files.h"

namespace parvolin::fuzz {

// The engine's audio buffer in the targets that run it: three blocks instead of a megabyte, so
// that an engine per input is cheap and short inputs reach the write of a full buffer.
inline constexpr std::uint32_t kFuzzAudioBufferSize = 3 * base::kAudioBlockSize;

// The engine of a fuzz target: the small audio buffer, and the list's rewrites in the caller (at
// the same points as on the list's own thread, without a thread started per input and without
// an input's outcome hanging on when that thread runs).
inline engine::EngineOptions fuzzEngineOptions() {
  engine::EngineOptions options;
  options.audioBufferSize = kFuzzAudioBufferSize;
  options.listWrites = engine::ListWrites::kInCaller;
  return options;
}

// One input, run in `scratch` (an existing folder of the caller's): what went wrong, or "".
using FuzzCheck = std::string (*)(const std::uint8_t* data, std::size_t size,
                                  const std::filesystem::path& scratch);

inline bool isWavRecordingName(const std::string& name) {
  return name.size() > 4 && name.compare(name.size() - 4, 4, ".WAV") == 0;
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

// "" when every file of `folder` is well formed: recordings whole 512-byte blocks (a WAV
// recording after its conversion: a header and whole blocks of samples), the call log whole
// records, the list starting with its fixed header, the folder's lock, and no other file; else
// the first file that is not, and why.
inline std::string folderFault(const std::filesystem::path& folder, const std::string& listName) {
  std::error_code ec;
  for (const auto& entry : std::filesystem::directory_iterator(folder, ec)) {
    const std::string name = entry.path().filename().string();
    const auto size = std::filesystem::file_size(entry.path(), ec);
    if (ec) return name + ": size unreadable: " + ec.message();
    if (isWavRecordingName(name) && name != listName) {
      const bool converted = size >= codec::kWavHeaderSize &&
                             (size - codec::kWavHeaderSize) % base::kAudioBlockSize == 0;
      if (size % base::kAudioBlockSize != 0 && !converted) {
        return name + ": " + std::to_string(size) + " bytes is neither whole blocks nor a WAV file";
      }
    } else if (isRecordingName(name)) {
      if (size % base::kAudioBlockSize != 0) {
        return name + ": " + std::to_string(size) + " bytes is not whole blocks";
      }
    } else if (name == engine::kCallLogName) {
      if (size % engine::kCallRecordSize != 0) {
        return name + ": " + std::to_string(size) + " bytes is not whole records";
      }
    } else if (name == base::kFolderLockName) {
      // The lock of whoever recorded there: its holder's process and name.
    } else if (name == listName) {
      std::ifstream in(entry.path(), std::ios::binary);
      const std::string text{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
      if (text.compare(0, engine::kHtmlHeaderSize, engine::kHtmlHeader) != 0) {
        return name + ": does not start with the list's header";
      }
    } else {
      return name + ": a file that does not belong in a recording folder";
    }
  }
  if (ec) return folder.string() + ": cannot be listed: " + ec.message();
  return {};
}

// Writes a new file of the scratch folder in one go (no temporary file, no rename: nothing else
// looks at it meanwhile); false when it cannot.
inline bool writeScratchFile(const std::filesystem::path& path, std::string_view bytes) {
  base::FileHandle file;
  return !base::createExclusive(path, file) &&
         !base::writeAll(file.fd(), bytes.data(), bytes.size());
}

inline bool emptyOpenFolder(int dir);

// Removes every entry of the open folder `stream` from the start, folders in it included; false
// when something in it cannot be removed. By descriptor and name, without a path or a status per
// entry: the scratch folder is emptied after every input.
inline bool removeEntries(DIR* stream) {
  const int dir = ::dirfd(stream);
  ::rewinddir(stream);
  bool emptied = true;
  while (const dirent* entry = ::readdir(stream)) {
    const std::string_view name = entry->d_name;
    if (name == "." || name == "..") continue;
    if (entry->d_type != DT_DIR && ::unlinkat(dir, entry->d_name, 0) == 0) continue;
    if (entry->d_type != DT_DIR && entry->d_type != DT_UNKNOWN && errno != EISDIR) {
      emptied = false;
      continue;
    }
    // A folder (or an entry of unknown type that is one): removed at once when it is empty, else
    // emptied first.
    if (::unlinkat(dir, entry->d_name, AT_REMOVEDIR) == 0) continue;
    const int inner = ::openat(dir, entry->d_name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (inner < 0 || !emptyOpenFolder(inner) || ::unlinkat(dir, entry->d_name, AT_REMOVEDIR) != 0) {
      emptied = false;
    }
  }
  return emptied;
}

// Empties the open folder `dir` (which it closes); false when something in it cannot be removed.
inline bool emptyOpenFolder(int dir) {
  DIR* stream = ::fdopendir(dir);
  if (stream == nullptr) {
    ::close(dir);
    return false;
  }
  const bool emptied = removeEntries(stream);
  ::closedir(stream);
  return emptied;
}

// Whether a target's check writes files: one that never does is given no folder.
enum class FuzzFiles { kWritten, kNone };

// The libFuzzer side: runs `check` in a scratch folder of this process (in memory-backed
// storage when there is one, emptied before each input) and aborts with the failure. The files
// are thrown away, so the writes do not wait for the disk. A check that writes no files gets an
// empty path and no folder: the folder's upkeep cost a fifth of the time of such a target.
inline int runFuzzInput(FuzzCheck check, const std::uint8_t* data, std::size_t size,
                        FuzzFiles files = FuzzFiles::kWritten) {
  const auto run = [&](const std::filesystem::path& folder) {
    const std::string failure = check(data, size, folder);
    if (!failure.empty()) {
      std::fprintf(stderr, "fuzz check failed: %s\n", failure.c_str());
      std::abort();
    }
    return 0;
  };
  if (files == FuzzFiles::kNone) return run({});
  struct Scratch {
    std::filesystem::path path;
    DIR* stream = nullptr;  // kept open: listing it again costs less than opening it each time
    Scratch() {
      base::setDurabilityWaits(false);
      std::error_code ec;
      std::filesystem::path dir = "/dev/shm";
      if (!std::filesystem::is_directory(dir, ec)) dir = std::filesystem::temp_directory_path();
      path = dir / ("parvolin-fuzz-" + std::to_string(::getpid()));
      std::filesystem::remove_all(path, ec);
      std::filesystem::create_directories(path, ec);
      if (!ec) stream = ::opendir(path.c_str());
      if (stream == nullptr) {
        std::fprintf(stderr, "cannot make %s: %s\n", path.c_str(),
                     ec ? ec.message().c_str() : std::strerror(errno));
        std::abort();
      }
    }
    ~Scratch() {
      ::closedir(stream);
      std::error_code ec;
      std::filesystem::remove_all(path, ec);
    }
  };
  static const Scratch scratch;
  if (!removeEntries(scratch.stream)) {
    std::fprintf(stderr, "cannot empty %s\n", scratch.path.c_str());
    std::abort();
  }
  return run(scratch.path);
}

}  // namespace parvolin::fuzz
