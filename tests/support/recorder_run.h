#pragma once

// A whole recorder run for tests: a Recorder on emulated units playing a scenario, on a virtual
// clock, with its settings in memory and its recording folder "rec" in a folder of its own; the
// poll timer is ticked by the test.

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/recorder.h"
#include "base/clock.h"
#include "base/folder_lock.h"
#include "sim/scenario.h"
#include "sim/sim_d2xx.h"
#include "sim/sim_notifications.h"
#include "support/collecting_diagnostics.h"
#include "support/scripted_d2xx.h"
#include "support/scripted_prompt.h"
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

// The prompt that gets the messages raised during a tick; `onMessage` runs as each is shown.
struct LaterPrompt final : base::Prompt {
  void message(std::string_view text, base::PromptIcon) override {
    texts.emplace_back(text);
    if (onMessage) onMessage();
  }
  bool askYesNo(std::string_view, bool safe, base::PromptIcon) override { return safe; }
  bool askOkCancel(std::string_view, bool safe, base::PromptIcon) override { return safe; }
  std::vector<std::string> texts;
  std::function<void()> onMessage;
};

// A run on emulated units playing `scenario` (none when it is empty), on a virtual clock; the
// recording folder is "rec" in a folder of its own.
struct RecorderRun {
  TempFolder dir;
  base::VirtualClock clock;
  std::unique_ptr<sim::SimD2xx> d2xx;
  std::unique_ptr<ScriptedD2xx> front;  // in front of the emulated units: sees every call
  // Units plugged in during the run are announced only when a test sets this (then remake()).
  std::unique_ptr<sim::SimNotifications> notifications;
  settings::MemorySettingsStore store;
  test::ScriptedPrompt prompt;
  LaterPrompt later;  // messages raised during a tick
  test::CollectingDiagnostics diagnostics;
  app::RecordingShell shell;
  app::FakeWorkingFolder workingFolder{dir.path()};
  ScreenLog screen;
  ManualTimer timer;
  std::unique_ptr<app::Recorder> recorder;

  explicit RecorderRun(const std::string& scenario, app::RecorderOptions options = {}) {
    if (scenario.empty()) {
      d2xx = std::make_unique<sim::SimD2xx>(clock);  // nothing attached
    } else {
      std::string error;
      auto parsed = sim::parseScenario(scenario, "test", dir.path(), error);
      EXPECT_TRUE(parsed) << error;
      d2xx = std::make_unique<sim::SimD2xx>(*parsed, clock);
    }
    front = std::make_unique<ScriptedD2xx>(*d2xx);
    store.values["ParvolinPath"] = (dir / "rec").string();
    remake(std::move(options));
  }
  // A new Recorder on the same units, settings and folder (the previous one's lock dropped).
  // The list is rewritten at the end of every tick that kept a call, in the tick, so that a
  // test sees it at once.
  void remake(app::RecorderOptions options) {
    options.engineOptions.listBudget = engine::ListWriteBudget::immediate();
    options.engineOptions.listWrites = engine::ListWrites::kInCaller;
    recorder.reset();
    recorder = std::make_unique<app::Recorder>(
        app::RecorderServices{*front, clock, store, prompt, diagnostics, shell, workingFolder,
                              screen, timer, &later, notifications.get()},
        std::move(options));
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
  // The files of a folder but its lock.
  std::vector<std::string> files(const fs::path& folder) const {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(folder)) {
      if (e.path().filename() != base::kFolderLockName) names.push_back(e.path().filename());
    }
    std::sort(names.begin(), names.end());
    return names;
  }
};
}  // namespace parvolin::test
