#pragma once

// The body of the engine reads fuzz target, shared with the test that replays the saved corpus.
// Input: byte 0 gives the audio modes of units 0-3 (two bits each, unit 0 lowest); byte 1 the
// recording options (ParvolinSetting, low six bits) and the units' VAR turn-off delay (bits
// 6-7: 4, 12, 32 or 100 seconds); then reads,
// each a 3-byte head {unit in bits 0-1 and seconds to move the clock on in bits 2-7, u16 length
// - 1 (modulo 2048)} followed by that many bytes (fewer at the end of the input). After the run
// every file of the folder must be well formed.

#include <array>
#include <cstdint>
#include <filesystem>
#include <span>
#include <string>

#include "base/clock.h"
#include "base/diagnostics.h"
#include "base/prompt.h"
#include "engine/engine.h"
#include "engine/engine_view.h"
#include "engine/recorder_settings.h"
#include "engine/unit_streams.h"
#include "fuzz_folder.h"
#include "support/collecting_diagnostics.h"
#include "support/scripted_prompt.h"

namespace parvolin::fuzz {

inline constexpr std::int64_t kEngineFuzzStartMs = 1234567890LL * 1000;

inline std::string engineReadsFuzzCheck(const std::uint8_t* data, std::size_t size,
                                        const std::filesystem::path& folder) {
  if (size < 2) return {};

  engine::RecorderSettings settings;
  settings.parvolinSetting = data[1] & 0x3F;
  const int varOffDelay = std::array{4, 12, 32, 100}[data[1] >> 6];
  base::VirtualClock clock(kEngineFuzzStartMs);
  engine::NoUnitStreams units;
  engine::NullEngineView view;
  test::NullDiagnostics diagnostics;
  test::ScriptedPrompt prompt;
  {
    engine::Engine engine(units, clock, settings, folder, view, diagnostics, prompt,
                          fuzzEngineOptions());
    engine.resetPorts();
    for (int p = 0; p < 16; ++p) {
      engine.setPortLine(p, engine::PortLine::kIdle);
    }
    engine.recountCapacity();
    for (int u = 0; u < 4; ++u) {
      engine.setAudioMode(u, (data[0] >> (2 * u)) & 3);
      engine.setVarOffDelay(u, varOffDelay);
    }

    std::size_t at = 2;
    while (at + 3 <= size) {
      const int unit = data[at] & 3;
      clock.advanceMs(std::int64_t(data[at] >> 2) * 1000);
      const std::size_t length = 1 + (data[at + 1] | (std::size_t(data[at + 2]) << 8)) % 2048;
      at += 3;
      const std::size_t n = std::min(length, size - at);
      if (n == 0) break;
      if (!engine.processRead(unit, {data + at, n}, clock.wallMs() / 1000)) {
        return "read at input byte " + std::to_string(at) + " refused";
      }
      engine.retryDeferredWrites();
      at += n;
    }
    engine.finishRun();
  }
  return folderFault(folder, settings.lvLogHtmlName);
}

}  // namespace parvolin::fuzz
