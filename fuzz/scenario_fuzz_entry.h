#pragma once

// The body of the scenario fuzz target, shared with the test that replays the saved corpus.
// Input: the text of a scenario. WAV sources are looked up in a folder that does not exist.

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <string_view>

#include "sim/scenario.h"

namespace parvolin::fuzz {

inline int scenarioFuzzOne(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  std::string error;
  const auto scenario =
      sim::parseScenario(text, "fuzz", "/nonexistent/parvolin-scenario-fuzz", error);
  if (!scenario) {
    if (error.rfind("fuzz:", 0) != 0) std::abort();
    return 0;
  }
  const std::int64_t end = scenario->endMs();
  if (end < 0) std::abort();
  for (const sim::ScenarioEvent& e : scenario->events) {
    if (e.unit >= scenario->units.size()) std::abort();
    if (e.event.atMs < 0 || e.event.durationMs < 0) std::abort();
    if (e.event.atMs + e.event.durationMs > end) std::abort();
  }
  return 0;
}

}  // namespace parvolin::fuzz
