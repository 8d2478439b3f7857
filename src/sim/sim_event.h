#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace parvolin::sim {

// What a port plays while it talks.
struct AudioSourceSpec {
  enum class Kind { Speech, Silence, Tone, Samples };
  Kind kind = Kind::Speech;
  std::uint32_t seed = 1;  // Speech: which voice and which syllables
  int toneHz = 1000;       // Tone
  // Samples: 16-bit linear samples at 8000 per second (a WAV file), played once, then silence.
  std::shared_ptr<const std::vector<std::int16_t>> samples;
};

// One timed happening of an emulated unit: a call event on one of its ports, or a fault of the
// unit as a whole.
struct SimEvent {
  enum class Kind {
    // Port events: each but Talk puts one record into the stream.
    Ring,
    CallerId,  // `idType` 'A' or 'B', `digits` (table A characters)
    Answer,
    DialOut,
    Digit,       // `value`: the digit value byte
    Talk,        // `durationMs` of audio from `source`
    CallEnd,     // `digits`: the caller number (table A)
    CalloutEnd,  // `digits`: the dialled number (table B)
    VarStart,
    VarEnd,  // `digits`: the dialled number (table B)
    // Unit events.
    Unplug,
    Replug,
    Plug,  // as Replug; a unit whose first plug event is this one is absent at the start
    PowerCycle,
    Garbage,      // `value` bytes of noise into the stream
    BadPort,      // a record header whose port byte is `value` (above 3)
    Stall,        // nothing reaches the host for `durationMs`; the unit goes on producing
    Drip,         // every read returns at most one byte for `durationMs`
    NoAnswer,     // commands are taken but not answered for `durationMs`
    WrongAck,     // answers carry `value` instead of the acknowledge byte for `durationMs`
    VersionByte,  // version answer byte `index` := `value`
  };

  std::int64_t atMs = 0;  // from the start of the scenario
  Kind kind = Kind::Ring;
  int port = -1;  // 0-3 for port events, -1 for unit events
  char idType = 'A';
  std::string digits;
  int value = 0;
  int index = 0;
  std::int64_t durationMs = 0;
  AudioSourceSpec source;

  bool isPortEvent() const { return kind <= Kind::VarEnd; }
};

}  // namespace parvolin::sim
