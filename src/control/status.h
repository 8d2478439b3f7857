#pragma once

// What a running recorder tells its control clients: a copy of what its window shows, taken at
// the end of a tick, and its JSON form.

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include <nlohmann/json_fwd.hpp>

#include "device/unit_link.h"
#include "engine/engine_view.h"

namespace parvolin::control {

struct UnitStatus {
  bool listed = false;   // polled for the whole run
  bool present = false;  // open and usable now
  int audioMode = 3;
  bool operator==(const UnitStatus&) const = default;
};

struct LineStatus {
  std::string status;  // the window's upper line ("IDLE", "RING", ...)
  std::string detail;  // the lower line
  bool inCall = false;
  bool operator==(const LineStatus&) const = default;
};

struct ProblemStatus {
  std::int64_t wallSeconds = 0;
  std::string text;
  int count = 1;
  bool operator==(const ProblemStatus&) const = default;
};

struct StatusSnapshot {
  std::string version;         // the recorder's
  std::int64_t startedAt = 0;  // seconds since 1970
  std::uint64_t ticks = 0;     // poll ticks so far
  std::string folder;          // the recording folder
  std::string list;            // its HTML call list
  std::string location;        // the window's location line
  std::array<UnitStatus, device::kMaxUnits> units{};
  std::array<LineStatus, device::kMaxPorts> lines{};
  int visibleLines = 0;              // the window's rows times four
  engine::CapacityDisplay capacity;  // the texts and bars as shown
  std::int32_t loggedItems = -1;     // -1 while not counted
  std::int32_t loggedMegabytes = -1;
  std::int32_t itemLimit = 0;
  std::int32_t spaceLimitMb = 0;
  std::optional<std::uint64_t> freeBytes;  // the recording folder's disk; unknown when absent
  std::vector<ProblemStatus> problems;     // newest first
  bool listEditPending = false;

  // Lines that the present units serve, and those of them in a call.
  int linesServed() const;
  int linesInCall() const;
  // "HH:MM:SS: text" (local time) of the newest problem; empty without one.
  std::string lastProblemText() const;

  bool operator==(const StatusSnapshot& other) const;
};

nlohmann::json toJson(const StatusSnapshot& status);
// The snapshot a JSON object describes; nullopt when it is not one (a field of the wrong type).
// Missing fields keep their defaults, so that a newer recorder's additions do not break it.
std::optional<StatusSnapshot> statusFromJson(const nlohmann::json& json);

}  // namespace parvolin::control
