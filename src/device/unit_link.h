#pragma once

#include <array>
#include <cstdint>

#include "base/clock.h"
#include "device/d2xx.h"

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

// The one object that holds the up to four recorder units: discovery, open, drain, stream reads,
// reopen, close, and the unit commands. Every operation returns true for success and false for
// failure and shows no message; the callers do. A unit index outside 0-3 fails at once.
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
  bool openAll();
  bool reopenUnit(int unit);
  bool closeAll();
  // Reads for about 2 ms; returns the number of bytes placed in `buffer` (0 to n). A failed read
  // returns 0 and clears present[unit].
  std::uint32_t readStream(std::uint8_t* buffer, std::uint32_t n, int unit);

  // --- Unit commands -------------------------------------------------------------------------
  // Transport failures end a command with false. A failed write or read also clears
  // present[unit] for queryVersion, encoderMode and readUnitNumber; streamControl clears it only
  // on a failed write; the other registers never clear it. An answer not complete after 1001
  // counted reads fails without clearing it.
  //
  // `buffer` must hold at least 34 bytes; true when 33 answer bytes arrived (the caller checks
  // byte 0). Bytes still queued are read and discarded first (at most 1001 reads).
  bool queryVersion(std::uint8_t* buffer, int unit);
  // The two-byte commands: `read` true reads, false writes `value`. Once two answer bytes have
  // arrived `value` holds the answer's value byte, also when the acknowledge byte is wrong and
  // the result is false. streamControl first reduces `value` to its low seven bits.
  bool streamControl(bool read, std::uint8_t& value, int unit);
  bool encoderMode(bool read, std::uint8_t& value, int unit);
  bool callerIdMode(bool read, std::uint8_t& value, int unit);
  bool varPorts(bool read, std::uint8_t& value, int unit);
  bool varThreshold(bool read, std::uint8_t& value, int unit);
  bool varTurnOffDelay(bool read, std::uint8_t& value, int unit);
  bool varTimeout(bool read, std::uint8_t& value, int unit);
  // Reads the four bytes most significant first; `number` is changed only on success.
  bool readUnitNumber(std::uint32_t& number, int unit);

  bool isListed(int unit) const { return serial[unit][0] != 0; }

  // --- State, as the rest of the system reads it ------------------------------------------
  std::array<std::uint32_t, kMaxUnits> present{};
  std::array<std::array<char, kSerialSlotSize>, kMaxUnits> serial{};
  std::array<D2xx::Handle, kMaxUnits> handle{};

 private:
  enum class AnswerOutcome { kComplete, kIncomplete, kReadFailed };
  // Which transport failures of a command clear present[unit].
  enum class Clears { kNothing, kOnWriteFailure, kOnWriteOrReadFailure };

  bool validUnit(int unit) const { return unit >= 0 && unit < kMaxUnits; }
  // handle[unit] while it is open; 0 (never an open handle) once it was closed, so that a call
  // on a stale handle can never reach a device that a later open was given the same value for.
  D2xx::Handle liveHandle(int unit) const { return handleOpen_[unit] ? handle[unit] : 0; }
  bool openUnit(int unit);
  void closeStaleHandle(int unit);
  bool drain(D2xx::Handle h);
  bool writeFrame(D2xx::Handle h, const std::uint8_t* frame, std::uint32_t size);
  AnswerOutcome readAnswer(D2xx::Handle h, std::uint8_t* answer, std::uint32_t size);
  bool twoByteCommand(const std::uint8_t* frame, std::uint32_t frameSize, std::size_t valueAt,
                      std::size_t ackAt, std::uint8_t& value, int unit, Clears clears);
  bool registerCommand(std::uint8_t letter, bool read, std::uint8_t& value, int unit,
                       Clears clears);
  bool listUnits(std::uint32_t& listed);

  D2xx& d2xx_;
  base::Clock& clock_;
  std::array<bool, kMaxUnits> handleOpen_{};
};

}  // namespace parvolin::device
