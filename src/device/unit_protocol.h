#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>

// The bytes of the unit command protocol, shared by the recorder's side (UnitLink) and the
// emulated units. Every command is one frame: FD FD F0 <letter> [<parameter bytes>] FD.
namespace parvolin::device::protocol {

inline constexpr std::uint8_t kSync = 0xFD;
inline constexpr std::uint8_t kFrameStart = 0xF0;
inline constexpr std::uint8_t kFrameEnd = 0xFD;
inline constexpr std::uint8_t kAck = 0xB5;  // acknowledge byte of every answer
inline constexpr std::uint8_t kReadFlag = 0x80;

inline constexpr std::uint8_t kVersionCommand = 0x56;        // "V"
inline constexpr std::uint8_t kStreamControlCommand = 0x42;  // "B"
inline constexpr std::uint8_t kRegisterCommand = 0x52;       // "R"

inline constexpr std::size_t kVersionFrameSize = 5;
inline constexpr std::size_t kStreamControlFrameSize = 6;
inline constexpr std::size_t kRegisterFrameSize = 7;

// Version answer: kAck, then 32 bytes. Bytes 13 and 15 are the ones the hardware page tests:
// settings may be written when byte 13 is "1" and byte 15 a character above "0".
inline constexpr std::size_t kVersionAnswerSize = 33;
inline constexpr std::size_t kVersionByteA = 13;
inline constexpr std::size_t kVersionByteB = 15;

constexpr bool versionAllowsSettingsWrite(std::uint8_t byteA, std::uint8_t byteB) {
  return byteA == '1' && byteB > '0' && byteB <= 0x7F;
}
// Stream control answer: <value>, kAck. Register answer: kAck, <value>.
inline constexpr std::size_t kTwoByteAnswerSize = 2;

// Values of the stream control byte that the recorder writes.
inline constexpr std::uint8_t kStreamStop = 0x00;
inline constexpr std::uint8_t kStreamStart = 0x4D;
inline constexpr std::uint8_t kStreamValueMask = 0x7F;

// Register letters (write codes); the read code is the letter plus kReadFlag.
inline constexpr std::uint8_t kEncoderModeRegister = 0x72;      // "r"
inline constexpr std::uint8_t kCallerIdModeRegister = 0x73;     // "s"
inline constexpr std::uint8_t kVarPortsRegister = 0x74;         // "t"
inline constexpr std::uint8_t kVarThresholdRegister = 0x78;     // "x"
inline constexpr std::uint8_t kVarTurnOffDelayRegister = 0x79;  // "y"
inline constexpr std::uint8_t kVarTimeoutRegister = 0x7A;       // "z"
// The settings registers, by their operations.
enum class Register {
  kEncoderMode,      // "r": AudioMode 0-3, plain
  kCallerIdMode,     // "s"
  kVarPorts,         // "t"
  kVarThreshold,     // "x"
  kVarTurnOffDelay,  // "y"
  kVarTimeout,       // "z"
};

constexpr std::uint8_t registerLetter(Register reg) {
  switch (reg) {
    case Register::kEncoderMode:
      return kEncoderModeRegister;
    case Register::kCallerIdMode:
      return kCallerIdModeRegister;
    case Register::kVarPorts:
      return kVarPortsRegister;
    case Register::kVarThreshold:
      return kVarThresholdRegister;
    case Register::kVarTurnOffDelay:
      return kVarTurnOffDelayRegister;
    case Register::kVarTimeout:
      return kVarTimeoutRegister;
  }
  return 0;
}

// Unit number byte i (0 least significant) is register 0x58 + i, "X" to "[".
inline constexpr std::uint8_t kUnitNumberRegister0 = 0x58;
inline constexpr int kUnitNumberBytes = 4;

// A read or a write of a register or of the stream control byte.
enum class Access { kWrite, kRead };

constexpr std::uint8_t registerCode(std::uint8_t letter, Access access) {
  return access == Access::kRead ? static_cast<std::uint8_t>(letter | kReadFlag) : letter;
}

constexpr std::array<std::uint8_t, kVersionFrameSize> versionFrame() {
  return {kSync, kSync, kFrameStart, kVersionCommand, kFrameEnd};
}

// `value` is reduced to its low seven bits; a read sets the top bit.
constexpr std::array<std::uint8_t, kStreamControlFrameSize> streamControlFrame(Access access,
                                                                               std::uint8_t value) {
  const auto v = static_cast<std::uint8_t>((value & kStreamValueMask) |
                                           (access == Access::kRead ? kReadFlag : 0));
  return {kSync, kSync, kFrameStart, kStreamControlCommand, v, kFrameEnd};
}

// `code` is the register's letter for a write, the letter plus kReadFlag for a read.
constexpr std::array<std::uint8_t, kRegisterFrameSize> registerFrame(std::uint8_t code,
                                                                     std::uint8_t value) {
  return {kSync, kSync, kFrameStart, kRegisterCommand, code, value, kFrameEnd};
}

// --- Register values -------------------------------------------------------------------------
// A valid value is 0x50 plus an index or a bit set in its low nibble; an invalid one is replaced
// by the default of its register before it is shown or used.
inline constexpr std::uint8_t kValidValueBase = 0x50;

constexpr bool callerIdModeValid(std::uint8_t value) {
  return (value & 0xF8) == kValidValueBase;
}
constexpr bool varValueValid(std::uint8_t value) {
  return (value & 0xF0) == kValidValueBase;
}
constexpr std::uint8_t lowNibble(std::uint8_t value) {
  return value & 0x0F;
}

// Caller-ID detection mode bits (above 0x50).
inline constexpr std::uint8_t kPreRingDtmfBit = 0x01;
inline constexpr std::uint8_t kPreRingFskBit = 0x02;
inline constexpr std::uint8_t kFskNotForcedBetweenRingsBit = 0x04;

inline constexpr std::uint8_t kDefaultCallerIdMode = 0x53;
inline constexpr std::uint8_t kDefaultVarPortBits = 0x00;
inline constexpr std::uint8_t kDefaultVarThresholdIndex = 2;
inline constexpr std::uint8_t kDefaultVarTurnOffDelayIndex = 1;
inline constexpr std::uint8_t kDefaultVarTimeoutIndex = 0;

inline constexpr std::array<int, 4> kVarTurnOffDelaySeconds = {4, 12, 32, 100};
inline constexpr std::array<int, 4> kVarTimeoutMinutes = {20, 40, 60, 120};
// Index 0-3 of the VAR voltage threshold.
inline constexpr std::array<const char*, 4> kVarThresholdNames = {"extra", "high", "mid", "low"};

// The VarOffDelay of a turn-off delay code as the recorder's set-up takes it: an invalid code
// counts as index 1 (12 seconds); nothing for a valid code whose index maps to no delay.
constexpr std::optional<int> varOffDelaySeconds(std::uint8_t code) {
  const std::size_t index = varValueValid(code) ? lowNibble(code) : kDefaultVarTurnOffDelayIndex;
  if (index >= kVarTurnOffDelaySeconds.size()) return std::nullopt;
  return kVarTurnOffDelaySeconds[index];
}

// The index of a VAR register (threshold, turn-off delay, time-out), or `fallback` when the value
// is invalid or its index is out of range.
constexpr std::uint8_t varIndex(std::uint8_t value, std::uint8_t fallback) {
  return varValueValid(value) && lowNibble(value) < 4 ? lowNibble(value) : fallback;
}

}  // namespace parvolin::device::protocol
