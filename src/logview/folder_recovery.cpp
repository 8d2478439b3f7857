#include "logview/folder_recovery.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <map>
#include <optional>
#include <string_view>
#include <unordered_map>
#include <unordered_set>

#include "base/file_io.h"
#include "codec/lv_format.h"
#include "codec/wav_header.h"
#include "engine/call_log.h"
#include "engine/html_list.h"
#include "engine/list_recovery.h"
#include "engine/recording_files.h"
#include "logview/list_rows.h"

namespace parvolin::logview {
namespace {

namespace fs = std::filesystem;
using engine::CallRecord;

// A recording's name as the engine makes it: "w%08Xp%01X.LV%01X" or "w%08Xp%01X.WAV".
struct RecordingName {
  std::uint32_t startTime = 0;
  int portIndex = 0;
  int mode = 3;
  bool wav = false;
};

int hexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

std::optional<RecordingName> parseRecordingName(std::string_view name) {
  if (name.size() != 15 || name[0] != 'w' || name[9] != 'p' || name[11] != '.') return {};
  RecordingName r;
  for (std::size_t i = 1; i < 9; ++i) {
    const int d = hexDigit(name[i]);
    if (d < 0) return {};
    r.startTime = r.startTime << 4 | std::uint32_t(d);
  }
  r.portIndex = hexDigit(name[10]);
  if (r.portIndex < 0) return {};
  const std::string_view ext = name.substr(12);
  if (ext == "WAV") {
    r.wav = true;
  } else if (ext.starts_with("LV") && ext[2] >= '0' && ext[2] <= '3') {
    r.mode = ext[2] - '0';
  } else {
    return {};
  }
  // The name is made again from what was read, so that only the engine's own spelling passes.
  if (engine::recordingFileName(r.startTime, r.portIndex, r.mode, r.wav) != name) return {};
  return r;
}

std::uint64_t callKey(std::uint32_t startTime, int portIndex) {
  return std::uint64_t(startTime) << 8 | std::uint64_t(portIndex & 0xFF);
}

// The folder's entries: every name (the rows' links may name any file) and the recordings with
// their sizes.
struct FolderScan {
  std::unordered_set<std::string> names;
  std::map<std::string, std::uint64_t> recordings;  // by name, so in name order
};

std::error_code scanFolder(const fs::path& folder, FolderScan& scan) {
  std::error_code error;
  for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
    std::string name = it->path().filename().string();
    std::error_code typeError;
    if (!it->is_regular_file(typeError)) continue;
    if (parseRecordingName(name)) {
      const std::uintmax_t size = it->file_size(typeError);
      scan.recordings.emplace(name, typeError ? 0 : std::uint64_t(size));
    }
    scan.names.insert(std::move(name));
  }
  return error;
}

bool startsWithRiff(const fs::path& file) {
  char head[4] = {};
  base::FileHandle handle(::open(file.c_str(), O_RDONLY | O_CLOEXEC));
  return handle.isOpen() && ::pread(handle.fd(), head, sizeof head, 0) == 4 &&
         std::string_view(head, 4) == "RIFF";
}

// The audio mode and format a row links a logged call's recording with: as it is found in the
// folder (a WAV file, or an LV file of any mode), else as the settings name a new one.
std::pair<int, bool> linkFormOf(const CallRecord& record, const FolderScan& scan, bool wavFormat) {
  if (record.isAnswered()) {
    if (scan.names.contains(
            engine::recordingFileName(record.startTime, record.portIndex, 3, true))) {
      return {3, true};
    }
    for (int mode = 0; mode <= 3; ++mode) {
      if (scan.names.contains(
              engine::recordingFileName(record.startTime, record.portIndex, mode, false))) {
        return {mode, false};
      }
    }
  }
  return {3, wavFormat};
}

// The one cell set that tells a call's row from others': port, date and time, duration, link.
std::string rowKey(const ListRow& row) {
  std::string key(row.port);
  for (std::string_view part : {row.dateTime, row.duration, row.link}) {
    key += '|';
    key += part;
  }
  return key;
}

struct LogState {
  std::vector<CallRecord> records;
  // callKey of every answered call: an unanswered one has no recording, and may have started
  // in the same second on the same port as the next call, which has.
  std::unordered_set<std::uint64_t> calls;
};

// Reads the call log (a missing log is an empty one) and cuts a torn last record.
bool readLog(const fs::path& folder, bool dryRun, LogState& log, RecoveryReport& report) {
  const fs::path path = folder / engine::kCallLogName;
  engine::CallLogContents contents;
  const std::error_code error = engine::readCallLog(path, contents);
  if (error && error != std::errc::no_such_file_or_directory) {
    report.problems.push_back(base::describeFailure(path, "read the call log", error));
    return false;
  }
  report.tornLogBytes = contents.tornBytes;
  if (contents.tornBytes != 0 && !dryRun) {
    const off_t whole = off_t(contents.records.size() * engine::kCallRecordSize);
    if (::truncate(path.c_str(), whole) != 0) {
      report.problems.push_back(base::describeFailure(path, "cut the torn last record",
                                                      {errno, std::generic_category()}));
    }
  }
  log.records = std::move(contents.records);
  for (const CallRecord& r : log.records) {
    if (r.isAnswered()) log.calls.insert(callKey(r.startTime, r.portIndex));
  }
  return true;
}

enum class ListState { kMissing, kList, kDamaged };

ListState readList(const fs::path& path, std::string& file, RecoveryReport& report) {
  const std::error_code error = base::readWholeFile(path, file);
  if (error == std::errc::no_such_file_or_directory) return ListState::kMissing;
  if (error) {
    report.problems.push_back(base::describeFailure(path, "read the list", error));
    return ListState::kDamaged;
  }
  return isListFile(file) ? ListState::kList : ListState::kDamaged;
}

// The recordings that no record names and no row links to, as calls, by start and port.
std::vector<RecoveredCall> orphanRecordings(const fs::path& folder, const FolderScan& scan,
                                            const LogState& log,
                                            const std::unordered_set<std::string_view>& linked) {
  std::vector<RecoveredCall> calls;
  for (const auto& [name, bytes] : scan.recordings) {
    const std::optional<RecordingName> parsed = parseRecordingName(name);
    if (log.calls.contains(callKey(parsed->startTime, parsed->portIndex))) continue;
    if (linked.contains(name)) continue;
    const bool riff = parsed->wav && startsWithRiff(folder / name);
    RecoveredCall call;
    call.recording = name;
    CallRecord& r = call.record;
    r.portIndex = std::uint8_t(parsed->portIndex);
    r.callType = engine::kCallAnswered;
    const std::string_view text = kRecoveredText;
    std::copy(text.begin(), text.end(), r.callText.begin());
    r.startTime = parsed->startTime;
    r.durationSec =
        std::uint16_t(std::min<std::uint32_t>(recordingSeconds(name, bytes, riff), UINT16_MAX));
    r.firstAudioSec = 1;
    calls.push_back(std::move(call));
  }
  std::sort(calls.begin(), calls.end(), [](const RecoveredCall& a, const RecoveredCall& b) {
    return callKey(a.record.startTime, a.record.portIndex) <
           callKey(b.record.startTime, b.record.portIndex);
  });
  return calls;
}

// Gives each recovered call its record in the log; the calls whose record could not be written
// are dropped (they get no row either, and are found again next time).
void appendRecords(const fs::path& folder, std::vector<RecoveredCall>& calls,
                   RecoveryReport& report) {
  for (std::size_t i = 0; i < calls.size(); ++i) {
    if (const std::error_code error = engine::appendCallLog(folder, calls[i].record)) {
      report.problems.push_back(base::describeFailure(
          folder / engine::kCallLogName, "add the records of the recovered calls", error));
      calls.resize(i);
      return;
    }
  }
}

// `rows` (oldest first) at the top of `file`'s body, under its header, in one atomic rewrite.
std::error_code writeRows(const fs::path& path, std::string_view file,
                          const std::vector<std::string>& rows) {
  std::string out(listHead(file));
  for (auto it = rows.rbegin(); it != rows.rend(); ++it) out += *it;
  out += listBody(file);
  return base::replaceFileContents(path, out);
}

// The row of a call, its text taken from `texts` when a row of the old list showed the call.
std::string rowFor(const CallRecord& record, const FolderScan& scan, bool wavFormat, int item,
                   const std::unordered_map<std::string, std::string_view>* texts = nullptr) {
  const auto [mode, wav] = linkFormOf(record, scan, wavFormat);
  std::string row = engine::htmlRow(record, mode, wav, item);
  if (texts == nullptr || texts->empty()) return row;
  const std::vector<ListRow> parsed = parseRows(row);
  if (parsed.size() != 1) return row;
  const auto old = texts->find(rowKey(parsed[0]));
  if (old == texts->end()) return row;
  return row.substr(0, parsed[0].textOffset) + std::string(old->second) +
         row.substr(parsed[0].textOffset + parsed[0].text.size());
}

void reportMissingRecordings(const std::vector<ListRow>& rows, const FolderScan& scan,
                             RecoveryReport& report) {
  for (const ListRow& row : rows) {
    if (!row.link.empty() && !scan.names.contains(std::string(row.link))) {
      report.missingRecordings.emplace_back(row.link);
    }
  }
}

// A name beside `list` that nothing has: "NAME-before-rebuild.htm", then "-2", "-3", ...
fs::path keptListName(const fs::path& list) {
  const std::string stem = list.stem().string();
  const std::string ext = list.extension().string();
  for (int n = 1;; ++n) {
    const std::string suffix = n == 1 ? "-before-rebuild" : "-before-rebuild-" + std::to_string(n);
    fs::path candidate = list.parent_path() / (stem + suffix + ext);
    std::error_code error;
    if (!fs::exists(fs::symlink_status(candidate, error)) || n > 1000) return candidate;
  }
}

// Keeps the list at `path` under `kept` (which nothing has): a hard link to its bytes, or where
// the file system has none, a new file with `bytes` (the list as read).
std::error_code keepList(const fs::path& path, const fs::path& kept, std::string_view bytes) {
  if (::link(path.c_str(), kept.c_str()) == 0) return base::syncFolder(kept.parent_path());
  const std::error_code linkError(errno, std::generic_category());
  if (linkError == std::errc::file_exists || bytes.empty()) return linkError;
  base::FileHandle file;
  if (std::error_code error = base::createExclusive(kept, file)) return error;
  if (std::error_code error = base::writeAll(file.fd(), bytes.data(), bytes.size())) {
    return error;
  }
  if (::fsync(file.fd()) != 0) return {errno, std::generic_category()};
  return file.close();
}

void rebuildList(const fs::path& folder, const RecoveryOptions& options, const FolderScan& scan,
                 LogState& log, RecoveryReport& report) {
  const fs::path path = folder / options.listName;
  std::string old;
  const ListState state = readList(path, old, report);
  std::vector<ListRow> oldRows;
  std::unordered_map<std::string, std::string_view> texts;
  std::unordered_set<std::string_view> linked;  // a rebuild gives every unlogged recording a row
  if (state == ListState::kList) {
    oldRows = parseRows(listBody(old));
    for (const ListRow& row : oldRows) texts.emplace(rowKey(row), row.text);
  }
  report.listDamaged = state == ListState::kDamaged && !old.empty();
  std::vector<RecoveredCall> orphans = orphanRecordings(folder, scan, log, linked);
  if (!options.dryRun) appendRecords(folder, orphans, report);
  report.callsRecovered = orphans;

  std::vector<std::string> rows;
  rows.reserve(log.records.size() + orphans.size());
  int item = 0;
  for (const CallRecord& record : log.records) {
    rows.push_back(rowFor(record, scan, options.wavFormat, ++item, &texts));
    const auto [mode, wav] = linkFormOf(record, scan, options.wavFormat);
    const std::string name =
        engine::recordingFileName(record.startTime, record.portIndex, mode, wav);
    if (record.isAnswered() && !scan.names.contains(name)) report.missingRecordings.push_back(name);
  }
  for (const RecoveredCall& call : orphans) {
    rows.push_back(rowFor(call.record, scan, options.wavFormat, ++item));
  }
  report.rebuiltRows = rows.size();
  if (state != ListState::kMissing) report.keptList = keptListName(path);
  if (options.dryRun) {
    report.listRebuilt = true;
    return;
  }
  // The old list keeps its bytes under the new name (a hard link, which never replaces a file);
  // the rebuilt one then takes the name in one atomic rename.
  if (!report.keptList.empty()) {
    if (const std::error_code error = keepList(path, report.keptList, old)) {
      report.problems.push_back(
          base::describeFailure(report.keptList, "keep the list that was there", error));
      report.keptList.clear();
      return;
    }
  }
  if (const std::error_code error = writeRows(path, engine::kHtmlHeader, rows)) {
    report.problems.push_back(base::describeFailure(path, "write the rebuilt list", error));
    return;
  }
  report.listRebuilt = true;
}

void restoreList(const fs::path& folder, const RecoveryOptions& options, const FolderScan& scan,
                 LogState& log, RecoveryReport& report) {
  const fs::path path = folder / options.listName;
  std::string file;
  const ListState state = readList(path, file, report);
  if (state == ListState::kDamaged) {
    report.listDamaged = true;
    return;
  }
  const std::vector<ListRow> rows = parseRows(listBody(file));
  reportMissingRecordings(rows, scan, report);
  std::unordered_set<std::string_view> linked;
  for (const ListRow& row : rows) {
    if (!row.link.empty()) linked.insert(row.link);
  }
  // A list that is not there lacks every logged call's row; otherwise the calls logged after the
  // one its newest row shows. A list without rows is one whose every row was deleted (by the user
  // or by retention): those deletions stand.
  if (state == ListState::kMissing) {
    report.rowsRestored = log.records;
  } else if (!rows.empty()) {
    report.rowsRestored = engine::callsMissingFromList(log.records, listBody(file));
  }
  std::vector<RecoveredCall> orphans = orphanRecordings(folder, scan, log, linked);
  if (!options.dryRun) appendRecords(folder, orphans, report);
  report.callsRecovered = orphans;
  if (options.dryRun || (report.rowsRestored.empty() && orphans.empty())) return;

  int item = latestItem(rows);
  std::vector<std::string> added;
  for (const CallRecord& record : report.rowsRestored) {
    added.push_back(rowFor(record, scan, options.wavFormat, ++item));
  }
  for (const RecoveredCall& call : orphans) {
    added.push_back(rowFor(call.record, scan, options.wavFormat, ++item));
  }
  if (const std::error_code error =
          writeRows(path, state == ListState::kList ? std::string_view(file) : "", added)) {
    report.problems.push_back(
        base::describeFailure(path, "add the rows of the recovered calls", error));
    report.rowsRestored.clear();
  }
}

std::string plural(std::size_t n, std::string_view one, std::string_view many) {
  return std::to_string(n) + " " + std::string(n == 1 ? one : many);
}

}  // namespace

RecoveryOptions recoveryOptionsFor(const engine::RecorderSettings& settings) {
  RecoveryOptions options;
  options.listName = settings.lvLogHtmlName;
  options.listOn = settings.has(engine::kHtmlListOn);
  options.wavFormat = settings.has(engine::kWavFormat);
  return options;
}

bool RecoveryReport::anythingFound() const {
  return !rowsRestored.empty() || !callsRecovered.empty() || !missingRecordings.empty() ||
         tornLogBytes != 0 || listDamaged || listRebuilt || !problems.empty();
}

std::uint32_t recordingSeconds(const std::string& name, std::uint64_t bytes, bool hasWavHeader) {
  const std::optional<RecordingName> parsed = parseRecordingName(name);
  std::uint64_t samples = bytes;
  if (parsed && parsed->wav && hasWavHeader) {
    samples = bytes > codec::kWavHeaderSize ? bytes - codec::kWavHeaderSize : 0;
  } else if (parsed) {
    // A WAV file without its header was cut off before its conversion: the audio as recorded,
    // in a mode its name does not tell; taken as 8000 bytes a second.
    samples = codec::sampleCountFor(bytes, parsed->wav ? codec::kModeLog8 : parsed->mode);
  }
  return std::uint32_t((samples + codec::kSamplesPerSecond / 2) / codec::kSamplesPerSecond);
}

RecoveryReport recoverFolder(const fs::path& folder, const RecoveryOptions& options) {
  RecoveryReport report;
  report.dryRun = options.dryRun;
  FolderScan scan;
  if (const std::error_code error = scanFolder(folder, scan)) {
    report.problems.push_back(base::describeFailure(folder, "read the folder", error));
    return report;
  }
  LogState log;
  if (!readLog(folder, options.dryRun, log, report)) return report;
  if (options.rebuildList) {
    rebuildList(folder, options, scan, log, report);
  } else if (options.listOn) {
    restoreList(folder, options, scan, log, report);
  } else {
    // Without a list a recording lacks only its record.
    report.callsRecovered = orphanRecordings(folder, scan, log, {});
    if (!options.dryRun) appendRecords(folder, report.callsRecovered, report);
  }
  return report;
}

std::vector<std::string> recoveryLines(const RecoveryReport& report) {
  std::vector<std::string> lines;
  const bool dry = report.dryRun;
  const std::string done = dry ? "would be " : "";
  if (report.tornLogBytes != 0) {
    lines.push_back(std::string(engine::kCallLogName) + ": a torn last record of " +
                    plural(report.tornLogBytes, "byte", "bytes") + " " +
                    (dry ? "would be cut" : "cut") + "; the whole records kept");
  }
  if (!report.rowsRestored.empty()) {
    lines.push_back(plural(report.rowsRestored.size(), "row", "rows") + " of logged calls " +
                    (dry ? "would be put back" : "put back"));
  }
  for (const RecoveredCall& call : report.callsRecovered) {
    lines.push_back(call.recording + ": no record or row; " + (dry ? "would be " : "") +
                    "recovered as a call of " + std::to_string(call.record.durationSec) + " s");
  }
  if (report.listRebuilt) {
    lines.push_back("list " + (dry ? std::string("would be made") : std::string("made")) +
                    " again with " + plural(report.rebuiltRows, "row", "rows") +
                    (report.keptList.empty() ? std::string()
                                             : "; the list that was there " + done + "kept as " +
                                                   report.keptList.filename().string()));
  } else if (report.listDamaged) {
    lines.push_back(
        "the list is not a call list; nothing was added to it (pvtool recover --rebuild-list "
        "makes it again and keeps it beside)");
  }
  for (const std::string& name : report.missingRecordings) {
    lines.push_back(name + ": in the list, but the recording is gone (the row is left)");
  }
  for (const std::string& problem : report.problems) lines.push_back(problem);
  return lines;
}

std::string recoverySummary(const RecoveryReport& report) {
  if (!report.anythingFound()) return {};
  std::vector<std::string> parts;
  if (!report.rowsRestored.empty()) {
    parts.push_back(plural(report.rowsRestored.size(), "row", "rows") +
                    " of logged calls put back");
  }
  if (!report.callsRecovered.empty()) {
    parts.push_back(plural(report.callsRecovered.size(), "recording", "recordings") +
                    " without record or row recovered");
  }
  if (report.tornLogBytes != 0) {
    parts.push_back("torn call log record cut (" + plural(report.tornLogBytes, "byte", "bytes") +
                    ")");
  }
  if (report.listRebuilt) parts.push_back("list made again");
  if (report.listDamaged && !report.listRebuilt) parts.push_back("the list is not a call list");
  if (!report.missingRecordings.empty()) {
    parts.push_back(plural(report.missingRecordings.size(), "row links", "rows link") +
                    " to a recording that is gone");
  }
  if (!report.problems.empty())
    parts.push_back(plural(report.problems.size(), "problem", "problems"));
  std::string line = "Recovery: ";
  for (std::size_t i = 0; i < parts.size(); ++i) line += (i == 0 ? "" : "; ") + parts[i];
  return line;
}

void recoverAtStart(const fs::path& folder, const engine::RecorderSettings& settings,
                    base::Diagnostics& diagnostics) {
  const RecoveryReport report = recoverFolder(folder, recoveryOptionsFor(settings));
  if (!report.anythingFound()) return;
  for (const std::string& problem : report.problems) diagnostics.report(problem);
  // The calls going on at a crash are a few; a folder of another history may hold many.
  constexpr std::size_t kNamedCalls = 16;
  const std::size_t named = std::min(report.callsRecovered.size(), kNamedCalls);
  for (std::size_t i = 0; i < named; ++i) {
    const RecoveredCall& call = report.callsRecovered[i];
    diagnostics.report(call.recording + ": recovered as a call of " +
                       std::to_string(call.record.durationSec) + " s");
  }
  diagnostics.report(recoverySummary(report));
}

}  // namespace parvolin::logview
