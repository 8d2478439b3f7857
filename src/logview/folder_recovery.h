#pragma once

// Puts a recording folder right after the recorder died without its exit (a crash, a power cut,
// kill -9), at the recorder's start and with `pvtool recover`:
//   - calls of the call log whose rows never reached the list (the row waits in the list writer
//     after the record is synced) get their rows, at the top, numbered on, in the order the calls
//     ended;
//   - recordings with neither a call log record nor a row (the call was going on) get both,
//     rebuilt from the file name (start time and port) and the file's length (the audio mode of
//     the name gives the bytes of a second), with the text "recovered", after those, by start;
//   - a torn last record of the call log is cut back to the whole records;
//   - rows whose recording is gone are reported and left as they are.
// With `rebuildList` the list is made anew from the call log and the recordings; the list that
// was there is kept beside it under a name of its own and texts edited in it carry over.

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#include "base/diagnostics.h"
#include "engine/call_record.h"
#include "engine/recorder_settings.h"

namespace parvolin::logview {

// The call text of a call rebuilt from its recording alone.
inline constexpr char kRecoveredText[] = "recovered";

struct RecoveryOptions {
  std::string listName = engine::RecorderSettings().lvLogHtmlName;  // the list's name
  bool listOn = true;      // the recorder keeps a list (HtmlListOn)
  bool wavFormat = false;  // how a row names a recording that is not found (WavFormat)
  bool dryRun = false;     // find and report; change nothing
  bool rebuildList = false;
};

// The options a recorder with `settings` recovers its folder with.
RecoveryOptions recoveryOptionsFor(const engine::RecorderSettings& settings);

// A recording that had neither record nor row, and the record made for it.
struct RecoveredCall {
  std::string recording;
  engine::CallRecord record;
};

struct RecoveryReport {
  bool dryRun = false;
  std::vector<engine::CallRecord> rowsRestored;  // logged calls that got their row back
  std::vector<RecoveredCall> callsRecovered;     // recordings that got a record and a row
  std::vector<std::string> missingRecordings;    // recordings that rows link to but are gone
  std::size_t tornLogBytes = 0;                  // cut from the call log's end
  // The list cannot be read as a list (and no rebuild was asked for): nothing was added to it.
  bool listDamaged = false;
  bool listRebuilt = false;
  std::size_t rebuiltRows = 0;
  std::filesystem::path keptList;  // where the list that was there before the rebuild is kept
  // What could not be done; each names the file and the reason.
  std::vector<std::string> problems;

  // Anything found that a user should hear of.
  bool anythingFound() const;
};

// Recovers `folder` (held by the caller: no recorder may write in it meanwhile).
RecoveryReport recoverFolder(const std::filesystem::path& folder, const RecoveryOptions& options);

// The report as lines for a terminal or a log: what was done (or, in a dry run, would be), each
// missing recording by name and each problem. Nothing when nothing was found.
std::vector<std::string> recoveryLines(const RecoveryReport& report);
// One line for a status line: "Recovered after a crash: 2 rows restored, 1 call recovered, ...";
// empty when nothing was found.
std::string recoverySummary(const RecoveryReport& report);

// The recorder's start in `folder`: recovers it and reports the summary and every problem to
// `diagnostics` (the window's status line, standard error, the service's status). The missing
// recordings are counted, not named one by one.
void recoverAtStart(const std::filesystem::path& folder, const engine::RecorderSettings& settings,
                    base::Diagnostics& diagnostics);

// The audio of a recording of `bytes` bytes named with `name` (".LV0"-".LV3", ".WAV"), in whole
// seconds, rounded: 8000 bytes a second in modes 0 and 3 and in a WAV file (after its 44-byte
// header), 2000 in mode 1, 3000 in mode 2 (512 bytes = 1360 samples).
std::uint32_t recordingSeconds(const std::string& name, std::uint64_t bytes, bool hasWavHeader);

}  // namespace parvolin::logview
