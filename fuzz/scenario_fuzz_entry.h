#pragma once

// The body of the scenario fuzz target, shared with the test that replays the saved corpus.
// Input: the text of a scenario. WAV sources are looked up in a folder that does not exist.

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

#include "fuzz_folder.h"
#include "sim/scenario.h"

namespace parvolin::fuzz {

inline constexpr std::int64_t kScenarioFuzzCallsPlayedMost = 500;

inline std::string scenarioFuzzCheck(const std::uint8_t* data, std::size_t size,
                                     const std::filesystem::path& /*scratch*/) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  std::string error;
  const auto scenario =
      sim::parseScenario(text, "fuzz", "/nonexistent/parvolin-scenario-fuzz", error);
  if (!scenario) {
    if (error.rfind("fuzz:", 0) != 0) return "error without the source's name: " + error;
    return {};
  }
  // The random calls are played only so far: an input that declares calls for a week would
  // otherwise play a hundred thousand of them, and the end past the bound is worked out as for a
  // longer time.
  const std::int64_t end = scenario->endMs(kScenarioFuzzCallsPlayedMost);
  if (end < 0) return "negative end " + std::to_string(end);
  for (std::size_t i = 0; i < scenario->events.size(); ++i) {
    const sim::ScenarioEvent& e = scenario->events[i];
    const std::string which = "event " + std::to_string(i) + ": ";
    if (e.unit >= scenario->units.size()) {
      return which + "unit " + std::to_string(e.unit) + " not declared";
    }
    if (e.event.atMs < 0 || e.event.durationMs < 0) return which + "negative time or duration";
    if (e.event.atMs + e.event.durationMs > end) return which + "ends after the scenario's end";
  }
  return {};
}

}  // namespace parvolin::fuzz
