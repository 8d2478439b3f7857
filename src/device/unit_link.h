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

// The one object that holds the up to four recorder units: discovery, open, drain, stream reads,
// reopen, close, and the unit commands. Every operation returns true for success and false for
// failure and shows no message; the callers do.
class UnitLink {
 public:
  UnitLink(D2xx& d2xx, base::Clock& clock);
  virtual ~UnitLink() = default;

  UnitLink(const UnitLink&) = delete;
  UnitLink& operator=(const UnitLink&) = delete;

  // --- Discovery and lifecycle ---------------------------------------------------------------
  bool openAll();
  bool reopenUnit(int unit);
  bool closeAll();
  // Reads for about 2 ms; returns the number of bytes placed in `buffer` (0 to n). A failed read
  // returns 0 and clears present[unit].
  std::uint32_t readStream(std::uint8_t* buffer, std::uint32_t n, int unit);

  // --- Unit commands -------------------------------------------------------------------------
  // `buffer` must hold at least 34 bytes; true when 33 answer bytes arrived.
  bool queryVersion(std::uint8_t* buffer, int unit);
  bool streamControl(bool read, std::uint8_t& value, int unit);
  bool encoderMode(bool read, std::uint8_t& value, int unit);
  bool callerIdMode(bool read, std::uint8_t& value, int unit);
  bool varPorts(bool read, std::uint8_t& value, int unit);
  bool varThreshold(bool read, std::uint8_t& value, int unit);
  bool varTurnOffDelay(bool read, std::uint8_t& value, int unit);
  bool varTimeout(bool read, std::uint8_t& value, int unit);
  bool readUnitNumber(std::uint32_t& number, int unit);

  bool isListed(int unit) const { return serial[unit][0] != 0; }

  // --- State, as the rest of the system reads it ------------------------------------------
  std::array<std::uint32_t, kMaxUnits> present{};
  std::array<std::array<char, kSerialSlotSize>, kMaxUnits> serial{};
  std::array<D2xx::Handle, kMaxUnits> handle{};

 private:
  D2xx& d2xx_;
  base::Clock& clock_;
};

}  // namespace parvolin::device
