#pragma once

#include <type_traits>

#include "app/recorder.h"
#include "app/recorder_thread.h"
#include "config/configure_host.h"

namespace parvolin::config {

// The configuration pages on a running recorder: settings are used from the engine's next event
// on, the folder moves the recording at once, and the unit commands go through the recorder's
// open link between its poll ticks. With the recorder's thread given, everything that touches
// the recorder runs there (the caller waits; the polls do not) and the settings the pages read
// are the host's own copy, taken when it is made and kept up by storeSetting(); without one, the
// recorder is used directly on the caller's thread.
class RecorderHost final : public ConfigureHost {
 public:
  explicit RecorderHost(app::Recorder& recorder, app::RecorderThread* thread = nullptr)
      : recorder_(recorder),
        thread_(thread),
        settings_(run([&] { return recorder_.settings(); })) {}

  const engine::RecorderSettings& settings() const override { return settings_; }
  void storeSetting(const engine::RecorderSettings& changed, engine::Setting setting) override {
    settings_ = changed;
    run([&] { recorder_.applySettings(changed, {setting}); });
  }
  std::filesystem::path currentFolder() override {
    return run([&] { return recorder_.recordingFolder(); });
  }
  app::FolderChange enterFolder(const std::filesystem::path& folder) override {
    return run([&] { return recorder_.changeRecordingFolder(folder); });
  }
  device::UnitLink* link() override { return &recorder_.units(); }
  void withLink(const std::function<void(device::UnitLink*)>& commands) override {
    run([&] { commands(&recorder_.units()); });
  }
  std::uint8_t audioMode(int unit) const override {
    return run([&] { return recorder_.unit(unit).audioMode; });
  }
  void setAudioMode(int unit, std::uint8_t mode) override {
    run([&] { recorder_.setAudioMode(unit, mode); });
  }

 private:
  template <typename F>
  auto run(F&& task) const -> std::invoke_result_t<F&> {
    return thread_ ? thread_->call(std::forward<F>(task)) : task();
  }

  app::Recorder& recorder_;
  app::RecorderThread* thread_;
  engine::RecorderSettings settings_;
};

}  // namespace parvolin::config
