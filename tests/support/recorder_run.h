#pragma once

// A whole recorder run for tests: a Recorder on emulated units playing a scenario, on a virtual
// clock, with its settings in memory and its recording folder "rec" in a folder of its own; the
// poll timer is ticked by the test.

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "app/recorder.h"
#include "base/clock.h"
#include "sim/scenario.h"
#include "sim/sim_d2xx.h"
#include "support/test_files.h"

namespace parvolin::test {

namespace fs = std::filesystem;

class ManualTimer final : public app::PollTimer {
 public:
  bool start(int periodMs) override {
    period = periodMs;
    running = true;
    return true;
  }
  void stop() override { running = false; }
  bool running = false;
  int period = 0;
};

// Records what a window would show.
class ScreenLog final : public engine::EngineView {
 public:
  void showPort(int portIndex, std::string_view status, std::string_view) override {
    lastStatus[std::size_t(portIndex)] = status;
  }
  void showCapacity(const engine::CapacityDisplay& capacity) override {
    items = capacity.itemsText;
  }
  void refresh() override { ++refreshes; }
  std::array<std::string, 16> lastStatus;
  std::string items;
  int refreshes = 0;
};

// A run on emulated units playing `scenario` (none when it is empty), on a virtual clock; the
// recording folder is "rec" in a folder of its own.
struct RecorderRun {
  TempFolder dir;
  base::VirtualClock clock;
  std::unique_ptr<sim::SimD2xx> d2xx;
  app::MemorySettingsStore store;
  base::ScriptedPrompt prompt;
  base::CollectingDiagnostics diagnostics;
  app::RecordingShell shell;
  app::FakeWorkingFolder workingFolder{dir.path()};
  ScreenLog screen;
  ManualTimer timer;
  std::unique_ptr<app::Recorder> recorder;

  explicit RecorderRun(const std::string& scenario) {
    if (scenario.empty()) {
      d2xx = std::make_unique<sim::SimD2xx>(clock);  // nothing attached
    } else {
      std::string error;
      auto parsed = sim::parseScenario(scenario, "test", dir.path(), error);
      EXPECT_TRUE(parsed) << error;
      d2xx = std::make_unique<sim::SimD2xx>(*parsed, clock);
    }
    store.values["ParvolinPath"] = (dir / "rec").string();
    recorder = std::make_unique<app::Recorder>(
        app::RecorderServices{*d2xx, clock, store, prompt, diagnostics, shell, workingFolder,
                              screen, timer},
        app::RecorderOptions{});
  }
  void open() {
    ASSERT_TRUE(recorder->start());
    ASSERT_EQ(recorder->open(), app::RecorderSession::OpenResult::Running);
  }
  // Ticks at the timer's period until the scenario's second `untilSec`.
  void tickUntil(double untilSec) {
    while (timer.running && clock.monotonicMs() < std::int64_t(untilSec * 1000)) {
      recorder->tick();
      clock.advanceMs(timer.period);
    }
  }
  fs::path rec() const { return dir / "rec"; }
  std::vector<std::string> files(const fs::path& folder) const {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(folder)) names.push_back(e.path().filename());
    std::sort(names.begin(), names.end());
    return names;
  }
};

}  // namespace parvolin::test
