#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

#include "base/clock.h"
#include "device/d2xx.h"
#include "device/unit_protocol.h"

namespace parvolin::device {

inline constexpr int kMaxUnits = 4;
inline constexpr int kPortsPerUnit = 4;
inline constexpr int kMaxPorts = kMaxUnits * kPortsPerUnit;
inline constexpr std::size_t kSerialSlotSize = 10;  // 9 characters and the terminator
inline constexpr std::size_t kMaxSerialLength = kSerialSlotSize - 1;

// Bounds and time-outs of the link.
inline constexpr std::uint32_t kDrainReadTimeoutMs = 10;
inline constexpr std::uint32_t kRunReadTimeoutMs = 1;  // in force after the drain, for the run
inline constexpr std::uint32_t kWriteTimeoutMs = 0;
inline constexpr std::uint32_t kDrainBlockSize = 512;
inline constexpr std::uint32_t kFlushBlockSize = 32;    // queryVersion empties the receive side
inline constexpr std::int64_t kStreamReadWindowMs = 2;  // readStream reads for about this long
inline constexpr int kMaxAnswerReads = 1001;            // counted reads that may complete an answer
inline constexpr int kMaxDrainReads = 1001;  // reads of the drain loop and of the version flush

// The period of the poll timer that reads the units: 35 ms, or 50 ms when unit 3 is present,
// plus 15 ms when unit 4 is present; 500 ms when no unit could be opened.
inline constexpr int kPollPeriodMs = 35;
inline constexpr int kPollPeriodWithUnit3Ms = 50;
inline constexpr int kPollPeriodUnit4ExtraMs = 15;
inline constexpr int kPollPeriodWithoutUnitsMs = 500;

constexpr int pollPeriodMs(bool unitsOpened, bool unit3Present, bool unit4Present) {
  if (!unitsOpened) return kPollPeriodWithoutUnitsMs;
  return (unit3Present ? kPollPeriodWithUnit3Ms : kPollPeriodMs) +
         (unit4Present ? kPollPeriodUnit4ExtraMs : 0);
}

using protocol::Register;

// The answer to a two-byte command (the stream control byte, a register). `ok` is the command's
// result: both answer bytes arrived and the acknowledge byte is in its place. `value` is the
// answer's value byte once both bytes arrived, also when the acknowledge byte was wrong.
struct CommandReply {
  bool ok = false;
  std::optional<std::uint8_t> value;

  explicit operator bool() const { return ok; }
  // The value of an acknowledged answer.
  std::uint8_t operator*() const { return *value; }
};

// The 33 bytes of a version answer.
using VersionAnswer = std::array<std::uint8_t, protocol::kVersionAnswerSize>;

// Where the set-up of a unit stopped.
enum class SetUpFailure {
  kNone,
  kEncoderMode,   // the audio mode could not be read
  kVersion,       // no version answer, or one without the acknowledge byte
  kTurnOffDelay,  // the VAR turn-off delay could not be read
};

// The messages shown when a unit's set-up fails, by where it stopped; the configuration pages
// show the version and turn-off delay texts for the same reads.
inline constexpr std::string_view kEncoderModeErrorText =
    "Failed to read EncoderMode, quit and try again!";
inline constexpr std::string_view kVersionErrorText = "ERROR: Failed to get Orvane version!";
inline constexpr std::string_view kTurnOffDelayErrorText =
    "Failed to read VAR mode Turn Off Delay. Quit and retry please!";

// What the set-up of one unit read. A set-up that failed read what it got to before.
struct UnitSetUp {
  SetUpFailure failure = SetUpFailure::kNone;
  std::optional<std::uint8_t> audioMode;  // read: the set-up got past its first command
  // The VAR turn-off delay in seconds; nothing when it was not read or its code maps to no delay
  // (the unit's previous delay then stays).
  std::optional<int> varOffDelaySec;

  bool ok() const { return failure == SetUpFailure::kNone; }
};

// One value per unit, looked up by the unit's number (0 to kMaxUnits - 1, checked by the caller).
template <typename T>
struct PerUnit {
  std::array<T, kMaxUnits> values{};

  T& operator[](int unit) { return values[static_cast<std::size_t>(unit)]; }
  const T& operator[](int unit) const { return values[static_cast<std::size_t>(unit)]; }
  void fill(const T& value) { values.fill(value); }
};

// The one object that holds the up to four recorder units: discovery, open, drain, stream reads,
// reopen, close, the unit commands and the sequences made of them. Every operation shows no
// message; the callers do. A unit index outside 0-3 fails at once.
//
// Listing: a device whose serial number is empty or longer than 9 characters cannot be opened
// through a 10-byte slot; it is passed over, and the next listed device takes the slot. Such a
// device counts as not attached.
class UnitLink {
 public:
  UnitLink(D2xx& d2xx, base::Clock& clock);
  virtual ~UnitLink() = default;

  UnitLink(const UnitLink&) = delete;
  UnitLink& operator=(const UnitLink&) = delete;

  // --- Discovery and lifecycle ---------------------------------------------------------------
  // Lists the units and opens, stops and drains each; true when every listed unit (at most 4)
  // was opened. Handles still open from an earlier call are closed first.
  // Whether each unit is usable is isPresent(unit); openAll's and closeAll's results only sum
  // that up, for a caller with nothing more to do about one unit than about all.
  bool openAll();
  [[nodiscard]] bool reopenUnit(int unit);
  // Units plugged in after openAll (unit_arrivals.cpp): lists the units again; each listed unit
  // whose serial number no slot holds takes the first slot never listed and is opened, stopped
  // and drained. Returns the slots so opened, in order. A unit already known keeps its slot: it
  // is opened again by its serial number, whatever USB port it is in now. A unit whose open or
  // drain fails gives its slot back, to be tried at the next listing. Units beyond the fourth
  // are passed over, as at the opening.
  std::vector<int> openArrivedUnits();
  // Closes the unit and gives its slot back, as if it had never been listed: a unit that
  // arrived but could not be set up is tried again when it is next plugged in.
  void forgetUnit(int unit);
  bool closeAll();
  // Reads for about 2 ms; returns the number of bytes placed in `buffer` (0 to n). A failed read
  // returns 0 and marks the unit not present.
  std::uint32_t readStream(std::uint8_t* buffer, std::uint32_t n, int unit);

  // --- State ---------------------------------------------------------------------------------
  // Open and usable: set by a successful open, cleared by closeAll and by the transport failures
  // of the commands below.
  bool isPresent(int unit) const { return validUnit(unit) && present_[unit] != 0; }
  // A serial number was listed for the unit (the slot is kept after the unit goes away).
  bool isListed(int unit) const { return validUnit(unit) && serial_[unit][0] != 0; }
  // The unit's serial number as last listed; empty when never listed.
  std::string_view serial(int unit) const {
    return validUnit(unit) ? std::string_view(serial_[unit].data()) : std::string_view();
  }
  // The handle of the unit's last open; meaningful while it is present.
  D2xx::Handle handle(int unit) const { return validUnit(unit) ? handle_[unit] : 0; }

  // --- Unit commands -------------------------------------------------------------------------
  // Transport failures end a command with a failure. A failed write or read also clears the
  // present flag for queryVersion, the encoder mode register and readUnitNumber; the stream
  // control byte clears it only on a failed write; the other registers never clear it. An answer
  // not complete after 1001 counted reads fails without clearing it. Reads send the value byte 0.
  //
  // The 33 answer bytes (the caller checks byte 0). Bytes still queued are read and discarded
  // first (at most 1001 reads).
  std::optional<VersionAnswer> queryVersion(int unit);
  CommandReply readRegister(Register reg, int unit);
  CommandReply writeRegister(Register reg, std::uint8_t value, int unit);
  CommandReply readStreamControl(int unit);
  // Sends the value's low seven bits.
  CommandReply writeStreamControl(std::uint8_t value, int unit);
  // Reads the four bytes most significant first.
  std::optional<std::uint32_t> readUnitNumber(int unit);

  // --- Sequences -----------------------------------------------------------------------------
  // Stops the stream if it runs: reads the stream control byte and writes 0 when the value read
  // is not 0, whatever the read's acknowledge byte.
  void stopStream(int unit);
  // Starts the stream afresh: stopStream, then writes 0x4D. True when the start was
  // acknowledged; the recorder does not check it (a unit that does not stream shows up as a lost
  // unit).
  bool restartStream(int unit);
  // Sets a unit up for recording: reads its audio mode, queries its version (which must be
  // acknowledged), reads its VAR turn-off delay and restarts its stream, stopping at the first
  // failure.
  UnitSetUp setUpUnit(int unit);

 private:
  enum class AnswerOutcome { kComplete, kIncomplete, kReadFailed };
  // Which transport failures of a command clear present[unit].
  enum class Clears { kNothing, kOnWriteFailure, kOnWriteOrReadFailure };

  static bool validUnit(int unit) { return unit >= 0 && unit < kMaxUnits; }
  // handle_[unit] while it is open; 0 (never an open handle) once it was closed, so that a call
  // on a stale handle can never reach a device that a later open was given the same value for.
  D2xx::Handle liveHandle(int unit) const { return handleOpen_[unit] ? handle_[unit] : 0; }
  [[nodiscard]] bool openUnit(int unit);
  void closeStaleHandle(int unit);
  [[nodiscard]] bool drain(D2xx::Handle h);
  [[nodiscard]] bool writeFrame(D2xx::Handle h, const std::uint8_t* frame, std::uint32_t size);
  AnswerOutcome readAnswer(D2xx::Handle h, std::uint8_t* answer, std::uint32_t size);
  CommandReply twoByteCommand(const std::uint8_t* frame, std::uint32_t frameSize,
                              std::size_t valueAt, std::size_t ackAt, int unit, Clears clears);
  CommandReply registerCommand(std::uint8_t code, std::uint8_t value, int unit, Clears clears);
  [[nodiscard]] bool listUnits(std::uint32_t& listed);
  int freeSlot() const;
  bool holdsSerial(const std::string& serial) const;

  D2xx& d2xx_;
  base::Clock& clock_;
  PerUnit<std::uint32_t> present_{};
  PerUnit<std::array<char, kSerialSlotSize>> serial_{};
  PerUnit<D2xx::Handle> handle_{};
  PerUnit<bool> handleOpen_{};
};

}  // namespace parvolin::device
