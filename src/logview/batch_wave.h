#pragma once

// Batch WAV conversion: one 8-bit PCM WAV file for every recorded call of a list, in a new
// numbered folder "WaveFolderXX" next to the list.

#include <cstddef>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "logview/list_rows.h"

namespace parvolin::logview {

inline constexpr int kBatchFolderCount = 100;

// Makes the first of WaveFolder00 to WaveFolder99 that can be created in `folder`; nullopt when
// none can (all of them exist, or the folder is not writable).
std::optional<std::filesystem::path> makeBatchFolder(const std::filesystem::path& folder);

// The question asked before converting, naming the new folder and the recording folder.
std::string batchFolderQuestion(const std::filesystem::path& batchFolder,
                                const std::filesystem::path& recordingFolder);
// The message when no batch folder could be made.
std::string noBatchFolderMessage(const std::filesystem::path& recordingFolder);

// The output name of a row: "P", port, date and time, type and text (its trailing blanks
// removed), each followed by a blank, then ".WAV" ("P5 06-03-06 14=05=09 In 5551234 .WAV").
// ":" becomes "=", "*" becomes "x", "?", "<" and ">" are dropped, and characters no file name
// can hold on Linux or Windows ("/", "\", "|", a double quote, control characters) become "_".
std::string batchOutputName(const ListRow& row);

// Called before each recording with the number done so far and the total; returning false
// cancels the batch (what was converted stays).
using BatchProgress =
    std::function<bool(std::size_t done, std::size_t total, std::string_view name)>;

struct BatchResult {
  enum class Status { kDone, kCancelled, kNoMemory };
  Status status = Status::kDone;
  std::vector<std::string> written;  // output names, in list order
  std::vector<std::string> missing;  // recordings named by the list that are not there
  std::vector<std::string> failed;   // "name: why" of recordings that could not be converted
};

// Converts the recorded calls of `listFile` (a list or a search result) whose recordings lie in
// `recordingFolder` into `batchFolder`. A WAV recording is copied; an LV recording is decoded,
// adjusted with Dava at `davaLevel` (0 none, 1, 2) whatever its length, and written as 8-bit
// PCM. An output name already used in the batch folder gets " (2)", " (3)", … before ".WAV".
// A link that is not a plain file name of the recording folder counts as missing.
BatchResult convertBatch(std::string_view listFile, const std::filesystem::path& recordingFolder,
                         const std::filesystem::path& batchFolder, int davaLevel,
                         const BatchProgress& progress = {});

// The message listing what a batch skipped; empty when nothing was.
std::string batchSkippedMessage(const BatchResult& result);

extern const std::string_view kBatchNoMemory;

}  // namespace parvolin::logview
