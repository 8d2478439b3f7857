#include <memory>

#include "engine/engine.h"
#include "engine/unit_streams.h"

namespace parvolin::engine {

// Kept apart from engine.cpp so that the engine links without the USB layer where no UnitLink
// is used (replays, tests).
Engine::Engine(device::UnitLink& link, base::Clock& clock, RecorderSettings& settings,
               std::filesystem::path folder, EngineView& view, base::Diagnostics& diagnostics,
               base::Prompt& prompt, const EngineOptions& options)
    : Engine(std::make_unique<LinkStreams>(link), clock, settings, std::move(folder), view,
             diagnostics, prompt, options) {}

std::uint32_t LinkStreams::readStream(std::uint8_t* buffer, std::uint32_t n, int unit) {
  return link_.readStream(buffer, n, unit);
}

bool LinkStreams::reopenUnit(int unit) {
  return link_.reopenUnit(unit);
}

void LinkStreams::restartStream(int unit) {
  link_.restartStream(unit);
}

std::optional<std::uint8_t> LinkStreams::readStreamControl(int unit) {
  const device::CommandReply reply = link_.readStreamControl(unit);
  if (!reply) return std::nullopt;
  return *reply;
}

}  // namespace parvolin::engine
