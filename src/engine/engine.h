#pragma once

// The recording engine: one object that follows all 16 ports through their calls on every poll
// tick, writes the recordings, the call log and the HTML list, and keeps the capacity figures.
//
// Interface contract shared by the engine and the application shell (start-up, main window,
// headless front end); the engine's implementation may add to it but keeps these names.

#include <array>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <span>
#include <string>

#include "base/clock.h"
#include "base/diagnostics.h"
#include "base/prompt.h"
#include "device/unit_link.h"
#include "engine/engine_view.h"
#include "engine/recorder_settings.h"

namespace parvolin::engine {

class Engine {
 public:
  // `folder` is the recording folder; every file of the engine is made in it.
  Engine(device::UnitLink& link, base::Clock& clock, RecorderSettings& settings,
         std::filesystem::path folder, EngineView& view, base::Diagnostics& diagnostics,
         base::Prompt& prompt);
  ~Engine();

  // One poll tick: a pass per listed unit, the view refreshed, a pending list edit applied.
  void onPollTick();

  // Main window opening: every port idle (callType 0, callText blank, firstAudioSec 0).
  void resetPorts();
  // Sets a port's two display lines (the opening's "NONE" and "IDLE" lines) and shows them.
  void setPortLines(int portIndex, std::string statusText, std::string detailText);
  // Counters and rowCountCache to unknown, then a full recount shown on the view.
  void recountCapacity();
  // Ends the run: a call in progress is not logged and gets no row, but its buffered audio is
  // written, converted when WavFormat is set, and its file closed.
  void finishRun();

  // Per-unit values read by the unit set-up.
  std::array<std::uint8_t, device::kMaxUnits> audioMode{3, 3, 3, 3};
  std::array<int, device::kMaxUnits> varOffDelay{0, 0, 0, 0};

 private:
  // The engine's own members.
};

}  // namespace parvolin::engine
