#pragma once

// The body of the settings fuzz target, shared with the test that replays the saved corpus.
// Input: byte 0 gives unit 1's audio mode (bits 0-1) and whether the unit was set up (bit 2);
// bytes 1-2 (little-endian) mark the settings that are absent from the store (bit i for the
// i-th of the nine, in the order of the table); the rest is the stored text of the nine
// settings, in the order of the table, separated by line feeds (a missing one is absent).
//
// The settings are loaded as at every start, from a store that keeps every value as text as an
// INI file does. Checked: every setting ends up with a value that does not count as missing and
// that the store then holds; a second start reads the same and writes nothing; a replay's
// read-only load gives the same without writing. Then what the recorder makes of the values:
// the list and the viewer's working files are files of their own in the recording folder, and
// the capacity texts and the location line can be made.

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "app/recorder_session.h"
#include "app/settings_io.h"
#include "engine/call_log.h"
#include "engine/recorder_settings.h"
#include "engine/recording_files.h"
#include "fuzz_folder.h"
#include "logview/list_files.h"
#include "settings/settings_store.h"

namespace parvolin::fuzz {

namespace settings_fuzz {

// "" when the two loads agree on every setting.
inline std::string differences(const engine::RecorderSettings& a,
                               const engine::RecorderSettings& b) {
  for (const engine::SettingSpec& entry : engine::kSettings) {
    const bool same = entry.isText()
                          ? engine::settingText(a, entry) == engine::settingText(b, entry)
                          : engine::settingNumber(a, entry) == engine::settingNumber(b, entry);
    if (!same) return std::string(entry.name);
  }
  return {};
}

}  // namespace settings_fuzz

inline std::string settingsFuzzCheck(const std::uint8_t* data, std::size_t size,
                                     const std::filesystem::path& scratch) {
  using namespace settings_fuzz;
  if (size < 3) return {};
  const std::uint8_t mode = data[0] & 3;
  const bool unitSetUp = (data[0] & 4) != 0;
  const unsigned absent = data[1] | (unsigned(data[2]) << 8);

  std::vector<std::string_view> fields;
  if (size > 3) {
    std::string_view rest(reinterpret_cast<const char*>(data + 3), size - 3);
    for (std::size_t end; (end = rest.find('\n')) != std::string_view::npos;) {
      fields.push_back(rest.substr(0, end));
      rest.remove_prefix(end + 1);
    }
    fields.push_back(rest);
  }
  settings::MemorySettingsStore stored;
  for (std::size_t i = 0; i < engine::kSettingCount && i < fields.size(); ++i) {
    if ((absent >> i) & 1) continue;
    stored.values[std::string(engine::kSettings[i].name)] = std::string(fields[i]);
  }

  // A default folder is made under the start folder, inside the scratch folder.
  const std::filesystem::path start = scratch;

  // A replay reads the same store without writing to it.
  settings::MemorySettingsStore replayStore = stored;
  const engine::RecorderSettings replayed = app::loadRecorderSettings(
      replayStore, {start, app::DefaultWrites::None, app::DefaultFolder::LeaveAlone});
  if (!replayStore.writes.empty()) return "the replay's load wrote to the store";

  settings::MemorySettingsStore store = stored;
  engine::RecorderSettings settings = app::loadRecorderSettings(
      store, {start, app::DefaultWrites::WriteBack, app::DefaultFolder::Create});
  for (const engine::SettingSpec& entry : engine::kSettings) {
    const std::string name(entry.name);
    if (entry.isText()) {
      if (engine::settingText(settings, entry).empty()) return name + " loaded empty";
      if (store.getStringOr(entry.name, "") != engine::settingText(settings, entry)) {
        return name + ": the store holds another value than the one loaded";
      }
    } else {
      if (engine::settingNumber(settings, entry) == entry.missing) return name + " loaded missing";
      if (store.getInt(entry.name) != engine::settingNumber(settings, entry)) {
        return name + ": the store holds another value than the one loaded";
      }
    }
  }
  if (const std::string which = differences(settings, replayed); !which.empty()) {
    return which + ": the replay's read-only load differs from a start's";
  }
  const std::size_t writes = store.writes.size();
  const engine::RecorderSettings again = app::loadRecorderSettings(
      store, {start, app::DefaultWrites::WriteBack, app::DefaultFolder::Create});
  if (store.writes.size() != writes) return "a second start wrote defaults again";
  if (const std::string which = differences(settings, again); !which.empty()) {
    return which + ": a second start read another value";
  }

  // The list and the viewer's working files: files of their own in the recording folder,
  // never the call log, a recording, or one another.
  const std::filesystem::path folder = "/recordings";
  const std::string& listName = settings.lvLogHtmlName;
  const logview::ListFiles files = logview::ListFiles::forList(folder / listName);
  const std::filesystem::path all[] = {files.list, files.find, files.findBackup, files.editCopy};
  for (std::size_t i = 0; i < std::size(all); ++i) {
    const std::string name = all[i].filename().string();
    if (all[i].parent_path() != folder || name.find('\0') != std::string::npos) {
      return all[i].string() + ": not a file of the recording folder";
    }
    if (name == engine::kCallLogName || isRecordingName(name) || isWavRecordingName(name)) {
      return name + ": names a file of the recorder";
    }
    for (std::size_t j = 0; j < i; ++j) {
      if (all[j] == all[i]) return name + ": two of the list's files share a name";
    }
  }

  // The figures and the location line.
  if (unitSetUp) engine::applyUnitSetUp(settings, mode);
  engine::CapacityCounters counters;
  counters.loggedItems = settings.itemLimit;
  counters.loggedBlocks = settings.spaceLimit;
  engine::capacityDisplay(counters, {settings.itemLimit, settings.spaceLimit});
  app::makeLocationLine(settings.parvolinPath);
  return {};
}

}  // namespace parvolin::fuzz
