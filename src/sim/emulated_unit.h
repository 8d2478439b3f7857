#pragma once

#include <array>
#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "base/clock.h"
#include "device/unit_link.h"
#include "sim/port_activity.h"
#include "sim/random_calls.h"
#include "sim/sim_event.h"

namespace parvolin::sim {

inline constexpr std::size_t kDefaultQueueCapacity = 65536;

// The settings registers of a unit, by the letters of their write codes.
struct UnitRegisters {
  std::uint8_t audioMode = 3;           // "r"
  std::uint8_t callerIdMode = 0x53;     // "s"
  std::uint8_t varPorts = 0x50;         // "t"
  std::uint8_t varThreshold = 0x52;     // "x"
  std::uint8_t varTurnOffDelay = 0x51;  // "y"
  std::uint8_t varTimeout = 0x50;       // "z"
};

// The 33-byte version answer: the acknowledge byte, then text with "1" at byte 13 (settings may be
// written) and "2" at byte 15.
device::VersionAnswer defaultVersionAnswer();

struct UnitConfig {
  std::string serial;
  device::VersionAnswer version = defaultVersionAnswer();
  UnitRegisters registers;
  std::uint32_t unitNumber = 0;
  std::size_t queueCapacity = kDefaultQueueCapacity;
  // False: the unit is not plugged in when it is made, but later (replug()).
  bool pluggedAtStart = true;
};

// One emulated recorder unit: it takes command frames, answers them, and streams the records of
// its four ports while its stream control byte is 0x4D.
//
// Time: the unit produces its bytes in step with the clock. Nothing runs by itself; every call
// from the host side first brings the unit up to the clock's present (advance()), processing
// scenario events and completing audio blocks in time order. Scenario times count from
// `originMs` on the clock's monotonic time.
//
// Queues: a command's answer goes into an answer queue that the host reads before the stream
// queue, so commands work while the stream runs. The stream queue holds at most
// `queueCapacity` bytes; a record that does not fit is dropped whole and counted.
class EmulatedUnit {
 public:
  EmulatedUnit(UnitConfig config, base::Clock& clock, std::int64_t originMs);

  const std::string& serial() const { return config_.serial; }

  // --- Scenario -------------------------------------------------------------------------
  // `event.atMs` counts from the origin; an event in the past happens at the next advance().
  void schedule(const SimEvent& event);
  // Plays generated calls on every port from `fromMs` to `untilMs` (scenario time).
  void enableRandomCalls(std::uint32_t seed, std::int64_t fromMs, std::int64_t untilMs);

  // --- Host side ---------------------------------------------------------------------------
  // Brings the unit up to the clock's present.
  void advance();
  bool plugged() const { return plugged_; }
  // Changes with every plug-in; a handle opened in an earlier one is dead.
  std::uint32_t plugSession() const { return plugSession_; }
  // Bytes the host wrote: command frames, executed once complete.
  void receive(std::span<const std::uint8_t> bytes);
  // Bytes the host can read now (answers first, then the stream), as a stall or a drip allows.
  std::size_t readable() const;
  bool dripping() const { return clock_.monotonicMs() - originMs_ < dripUntilMs_; }
  // Takes up to `max` readable bytes.
  std::size_t take(std::uint8_t* buffer, std::size_t max);
  void purgeReceiveSide();   // host's receive side: answers and stream bytes queued
  void purgeTransmitSide();  // an incomplete command frame

  // --- Faults and power, at once (the scenario's timed events call these too) -------------
  void unplug();
  void replug();
  // Stream off, queues emptied, calls cut, settings registers taken into use.
  void powerCycle();
  void injectGarbage(std::size_t count);
  void injectBadPort(std::uint8_t portByte);
  void stallFor(std::int64_t ms);
  void dripFor(std::int64_t ms);
  void noAnswerFor(std::int64_t ms);
  void wrongAckFor(std::int64_t ms, std::uint8_t ackByte);
  void setVersionByte(std::size_t index, std::uint8_t value);

  // --- State ------------------------------------------------------------------------------
  std::uint8_t streamControl() const { return streamControl_; }
  // What register reads answer (the last values written) and what the unit works with (the
  // values at its last power-up).
  const UnitRegisters& storedRegisters() const { return stored_; }
  const UnitRegisters& activeRegisters() const { return active_; }
  std::uint32_t unitNumber() const { return unitNumber_; }
  std::size_t queuedStreamBytes() const { return stream_.size(); }
  std::uint64_t droppedBytes() const { return droppedBytes_; }
  std::uint64_t droppedRecords() const { return droppedRecords_; }
  std::uint64_t audioBlocksQueued() const { return audioBlocksQueued_; }
  // Puts one record into the stream as the unit would (only while it streams).
  void emitRecord(std::uint8_t port, std::uint8_t code, std::span<const std::uint8_t> payload);

 private:
  std::int64_t scenarioNow() const { return clock_.monotonicMs() - originMs_; }
  void advanceTo(std::int64_t untilMs);
  void generateRandomCalls(std::int64_t untilMs);
  void apply(const SimEvent& event);
  void applyPortEvent(const SimEvent& event);
  void executeFrames();
  // Queues an answer whose acknowledge byte is at `ackIndex` (last in the stream control
  // answer, first in the others).
  void answer(std::span<const std::uint8_t> bytes, std::size_t ackIndex);
  std::uint8_t* registerFor(std::uint8_t letter);

  UnitConfig config_;
  base::Clock& clock_;
  std::int64_t originMs_;

  bool plugged_ = true;
  std::uint32_t plugSession_ = 1;
  std::uint8_t streamControl_ = 0;
  UnitRegisters stored_;
  UnitRegisters active_;
  std::uint32_t unitNumber_;

  std::multimap<std::int64_t, SimEvent> events_;
  std::array<PortActivity, device::kPortsPerUnit> ports_;
  std::vector<RandomCallPlayer> random_;

  std::vector<std::uint8_t> commandBytes_;
  std::deque<std::uint8_t> answers_;
  std::deque<std::uint8_t> stream_;
  std::uint64_t droppedBytes_ = 0;
  std::uint64_t droppedRecords_ = 0;
  std::uint64_t audioBlocksQueued_ = 0;
  std::uint32_t noiseState_ = 0x2468ACE1u;

  std::int64_t stallUntilMs_ = -1;
  std::int64_t dripUntilMs_ = -1;
  std::int64_t noAnswerUntilMs_ = -1;
  std::int64_t wrongAckUntilMs_ = -1;
  std::uint8_t wrongAckByte_ = 0xB4;
};

}  // namespace parvolin::sim
