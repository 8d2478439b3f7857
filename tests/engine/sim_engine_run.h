#pragma once

// An engine recording from emulated units on the virtual clock, set up as the recorder sets it
// up: the units' set-up read through the link, then each unit's audio mode, VAR delay and idle
// lines.

#include <cstdint>
#include <memory>
#include <string>

#include "engine/capture_replay.h"
#include "engine_harness.h"
#include "sim/scenario.h"
#include "sim/sim_d2xx.h"
#include "support/collecting_diagnostics.h"
#include "support/scripted_prompt.h"
#include "tools/sim_units.h"

namespace parvolin::engine::test {

class SimEngineRun {
 public:
  SimEngineRun(const std::string& scenarioText, RecorderSettings startSettings,
               EngineOptions options = {}, std::int64_t startWallMs = 1'700'000'000'000)
      : clock(startWallMs), settings(std::move(startSettings)) {
    std::string error;
    auto parsed = sim::parseScenario(scenarioText, "test", ".", error);
    EXPECT_TRUE(parsed) << error;
    if (parsed) scenario_ = *parsed;
    d2xx_ = std::make_unique<sim::SimD2xx>(scenario_, clock);
    link_ = std::make_unique<device::UnitLink>(*d2xx_, clock);
    origin_ = clock.monotonicMs();
    setUp = tools::setUpUnits(*link_, clock);
    applyCapturedSetUp(setUp.header, settings);
    engine = std::make_unique<Engine>(*link_, clock, settings, folder.path(), view, diagnostics,
                                      prompt, options);
    engine->resetPorts();
    for (int u = 0; u < 4; ++u) {
      const CaptureUnit& unit = setUp.header.units[std::size_t(u)];
      engine->setAudioMode(u, unit.audioMode);
      engine->setVarOffDelay(u, unit.varOffDelay);
      const PortLine line = (unit.flags & kUnitIdle) ? PortLine::kIdle : PortLine::kNone;
      for (int p = 0; p < 4; ++p) engine->setPortLine(u * 4 + p, line);
    }
    engine->recountCapacity();
  }

  std::int64_t elapsedMs() { return clock.monotonicMs() - origin_; }
  sim::SimD2xx& d2xx() { return *d2xx_; }

  base::VirtualClock clock;
  TempFolder folder;
  RecorderSettings settings;
  RememberingView view;
  ::parvolin::test::CollectingDiagnostics diagnostics;
  ::parvolin::test::ScriptedPrompt prompt;
  tools::UnitsSetUp setUp;
  std::unique_ptr<Engine> engine;

 private:
  sim::Scenario scenario_;
  std::unique_ptr<sim::SimD2xx> d2xx_;
  std::unique_ptr<device::UnitLink> link_;
  std::int64_t origin_ = 0;
};

}  // namespace parvolin::engine::test
