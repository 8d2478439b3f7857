#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>

#include "app/working_folder.h"
#include "device/unit_link.h"
#include "engine/recorder_settings.h"

namespace parvolin::config {

// What the configuration pages work on: the recorder's settings and where they are stored, the
// recording folder, and the units. A running recorder is one host (RecorderHost); the settings
// store alone, with or without units opened for the purpose, is the other (StoreHost, for
// pvtool).
class ConfigureHost {
 public:
  virtual ~ConfigureHost() = default;

  // --- Software settings -------------------------------------------------------------------
  // The settings in use now.
  virtual const engine::RecorderSettings& settings() const = 0;
  // Takes `changed` as the settings in use and writes `setting` to the store at once.
  virtual void storeSetting(const engine::RecorderSettings& changed, engine::Setting setting) = 0;
  // The current directory, against which a relative folder is taken.
  virtual std::filesystem::path currentFolder() = 0;
  // Makes `folder` the recording folder: the current directory, created when missing.
  // kNotLocated when it could be neither entered nor created (the current directory is used),
  // kHeld when another program holds it (the previous folder stays in use).
  virtual app::FolderChange enterFolder(const std::filesystem::path& folder) = 0;

  // --- Units ---------------------------------------------------------------------------------
  // The units, opened; null when the host has none (every unit then counts as absent). The pages
  // reach them through withLink() only.
  virtual device::UnitLink* link() = 0;
  // Runs `commands` on the units (null: none) where the host's own users of the link allow it:
  // a running recorder runs them on its thread between two poll ticks, and the caller waits.
  // `commands` shows nothing (message boxes belong to the caller's thread).
  virtual void withLink(const std::function<void(device::UnitLink*)>& commands) {
    commands(link());
  }
  // The unit's AudioMode as the recorder uses it (3 until read from the unit).
  virtual std::uint8_t audioMode(int unit) const = 0;
  virtual void setAudioMode(int unit, std::uint8_t mode) = 0;
};

}  // namespace parvolin::config
