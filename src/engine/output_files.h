#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace parvolin::engine {

// Whether a command may replace an existing file it was told to write (--force).
enum class ExistingFile { kRefuse, kReplace };

// Why a file named on a command line (a capture, a converted recording) may not be written:
// - it is one of a recording folder's own files, whatever --force says: the call log, the
//   folder's lock file, a recording ("w%08Xp%01X.LVn" or ".WAV"), or a call list or one of its
//   working copies (a file that begins with the list's header); and, when `recordingFolder` is
//   given, the list of that folder, `listName`, whether it is there yet or not;
// - it is a folder;
// - it exists and `existing` is kRefuse.
// Nothing when it may be written.
[[nodiscard]] std::optional<std::string> outputFileProblem(
    const std::filesystem::path& target, ExistingFile existing,
    const std::filesystem::path& recordingFolder = {}, std::string_view listName = {});

// A name the recorder gives its recordings: "w", eight upper-case hex digits, "p", one hex digit,
// then ".LV0" to ".LV3" or ".WAV".
bool isRecordingFileName(std::string_view name);

// Whether `folder` already holds calls: a call log or a recording. Replaying into it would add
// the replayed calls a second time beside those there.
bool folderHoldsCalls(const std::filesystem::path& folder);

}  // namespace parvolin::engine
