#pragma once

// Scenarios of emulated units: plain text, one statement per line. A "#" starts a comment that
// runs to the end of the line; blank lines are ignored.
//
//   unit SERIAL [mode=N] [callerid=B] [varports=B] [threshold=B] [offdelay=B] [timeout=B]
//               [number=N] [version13=C] [version15=C] [queue=BYTES]
//       Declares a unit (in listing order). B is a register byte, decimal or 0x hex; the
//       defaults are mode=3 callerid=0x53 varports=0x50 threshold=0x52 offdelay=0x51
//       timeout=0x50 number=0 version13=1 version15=2 queue=65536. C is one character or a
//       byte. Units are referred to by their number in declaration order (1, 2, ...) or by
//       serial.
//   random UNIT|all [seed=N] [from=SECONDS] [until=SECONDS]
//       Generated calls on every port of the unit(s), the same for the same seed; without
//       `until` they go on for ever. VAR recordings come on ports whose VAR bit is set.
//   TIME UNIT/PORT EVENT [ARGS]      an event on port 1-4 of a unit
//   TIME UNIT EVENT [ARGS]           an event of the unit as a whole (a fault)
//       TIME is seconds from the start ("12.5"), or "+SECONDS" after the previous timed line.
//
// Port events (each but `talk` is one record of the stream):
//   ring | answer | varstart
//   callerid A|B DIGITS        caller number, up to 12 characters of "0123456789;<OP?"
//   dialout [DIGITS]           dial-out, then one digit event per digit every 0.3 s
//   digit D                    one digit event: a digit character, or a value 0-255 written
//                              with two or more figures ("12", "00")
//   talk SECONDS [SOURCE]      line audio for SECONDS: speech[:SEED] (default), silence,
//                              tone:HZ, or a .wav file (relative to the scenario file)
//   callend [DIGITS]           end of an incoming call with its caller number
//   calloutend [DIGITS]        end of an outgoing call with the dialled number, up to 22
//   varend [DIGITS]            end of a VAR recording, as calloutend      characters of
//                                                                         "0123456789;<=>?"
// Unit events:
//   unplug | replug | powercycle (the unit takes its written settings into use)
//   plug                       as replug; a unit whose first plug event (unplug, replug, plug)
//                              is `plug` is not plugged in at the start
//   garbage N                  N noise bytes in the stream
//   badport [B]                a record whose port byte is B (default 4, must be above 3)
//   stall SECONDS              nothing reaches the host; the unit goes on producing
//   drip SECONDS               every read returns at most one byte
//   noanswer SECONDS           commands are taken but not answered
//   wrongack SECONDS [B]       answers carry B (default 0xB4) instead of 0xB5
//   version13 C | version15 C  a byte of the version answer
//
// A parse error names the line: "NAME:LINE: what is wrong".

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "sim/emulated_unit.h"
#include "sim/port_activity.h"
#include "sim/sim_event.h"

namespace parvolin::sim {

struct UnitDeclaration {
  UnitConfig config;
  bool randomCalls = false;
  std::uint32_t randomSeed = 1;
  std::int64_t randomFromMs = 0;
  std::int64_t randomUntilMs = kNever;
};

struct ScenarioEvent {
  std::size_t unit = 0;  // index into Scenario::units
  SimEvent event;
};

struct Scenario {
  std::vector<UnitDeclaration> units;
  std::vector<ScenarioEvent> events;  // in the order of their lines

  // When the last scripted event, or the last random call of a unit whose random calls have an
  // end, is over (a talk counts to its end); 0 for none. Random calls without an end do not
  // count. Past `callsPlayedMost` random calls (all units together), the end of a port's calls
  // is where its last call can end at the latest.
  std::int64_t endMs(std::int64_t callsPlayedMost = kRandomCallsPlayedMost) const;

  // About four ports of random calls for a week.
  static constexpr std::int64_t kRandomCallsPlayedMost = 100'000;
};

// `name` is used in error messages; WAV files are looked up relative to `baseDir`.
[[nodiscard]] std::optional<Scenario> parseScenario(std::string_view text, std::string_view name,
                                                    const std::filesystem::path& baseDir,
                                                    std::string& error);
[[nodiscard]] std::optional<Scenario> loadScenario(const std::filesystem::path& file,
                                                   std::string& error);

// Two units with random calls on all eight ports (the second with VAR on its ports 3 and 4).
Scenario builtInScenario();

}  // namespace parvolin::sim
