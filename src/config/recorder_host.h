#pragma once

#include "app/recorder.h"
#include "config/configure_host.h"

namespace parvolin::config {

// The configuration pages on a running recorder: settings are used from the engine's next event
// on, the folder moves the recording at once, and the unit commands go through the recorder's
// open link between its poll ticks.
class RecorderHost final : public ConfigureHost {
 public:
  explicit RecorderHost(app::Recorder& recorder) : recorder_(recorder) {}

  const engine::RecorderSettings& settings() const override { return recorder_.settings(); }
  void storeSetting(const engine::RecorderSettings& changed, engine::Setting setting) override {
    recorder_.applySettings(changed, {setting});
  }
  std::filesystem::path currentFolder() override { return recorder_.recordingFolder(); }
  app::FolderChange enterFolder(const std::filesystem::path& folder) override {
    return recorder_.changeRecordingFolder(folder);
  }
  device::UnitLink* link() override { return &recorder_.units(); }
  std::uint8_t audioMode(int unit) const override { return recorder_.unit(unit).audioMode; }
  void setAudioMode(int unit, std::uint8_t mode) override { recorder_.setAudioMode(unit, mode); }

 private:
  app::Recorder& recorder_;
};

}  // namespace parvolin::config
