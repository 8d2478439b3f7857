#include "tools/unit_description.h"

#include <cstdio>

#include "device/digit_code.h"
#include "device/unit_protocol.h"

namespace parvolin::tools {
namespace {

using namespace device::protocol;

std::string hexByte(std::uint8_t v) {
  char text[8];
  std::snprintf(text, sizeof text, "0x%02X", v);
  return text;
}

std::string invalid(std::uint8_t value, const std::string& used) {
  return hexByte(value) + "  invalid (high nibble not 5); taken as " + used;
}

std::string trimRight(std::string s) {
  while (!s.empty() && s.back() == ' ') s.pop_back();
  return s;
}

}  // namespace

std::string describeAudioMode(std::uint8_t value) {
  static const char* const kTexts[] = {"0. Large file, Good audio", "1. Tiny file, Poor audio",
                                       "2. Small file, Good audio", "3. Large file, Best audio"};
  if (value > 3) return std::to_string(value) + "  (not a mode; recordings decode as mode 0)";
  return std::to_string(value) + "  \"" + kTexts[value] + "\"";
}

std::string describeCallerIdMode(std::uint8_t value) {
  if (!callerIdModeValid(value)) {
    return hexByte(value) + "  invalid; the settings page offers " + hexByte(kDefaultCallerIdMode);
  }
  return hexByte(value) + "  pre-ring DTMF " + ((value & kPreRingDtmfBit) ? "on" : "off") +
         ", pre-ring FSK " + ((value & kPreRingFskBit) ? "on" : "off") + ", FSK " +
         ((value & kFskNotForcedBetweenRingsBit) ? "not forced" : "forced") + " between rings";
}

std::string describeVarPorts(std::uint8_t value) {
  if (!varValueValid(value)) return invalid(value, "no VAR port");
  std::string ports;
  for (int k = 0; k < 4; ++k) {
    if (value & (1 << k)) ports += (ports.empty() ? "" : ", ") + std::to_string(k + 1);
  }
  return hexByte(value) + "  " + (ports.empty() ? "no VAR port" : "VAR on port(s) " + ports);
}

std::string describeVarThreshold(std::uint8_t value) {
  const std::uint8_t index = varIndex(value, kDefaultVarThresholdIndex);
  const std::string text = std::string(kVarThresholdNames[index]) + " sensitivity";
  return varValueValid(value) && lowNibble(value) < 4 ? hexByte(value) + "  " + text
                                                      : invalid(value, text);
}

std::string describeVarTurnOffDelay(std::uint8_t value) {
  const std::uint8_t index = varIndex(value, kDefaultVarTurnOffDelayIndex);
  const std::string text = std::to_string(kVarTurnOffDelaySeconds[index]) + " s";
  return varValueValid(value) && lowNibble(value) < 4 ? hexByte(value) + "  " + text
                                                      : invalid(value, text);
}

std::string describeVarTimeout(std::uint8_t value) {
  const std::uint8_t index = varIndex(value, kDefaultVarTimeoutIndex);
  const std::string text = std::to_string(kVarTimeoutMinutes[index]) + " min";
  return varValueValid(value) && lowNibble(value) < 4 ? hexByte(value) + "  " + text
                                                      : invalid(value, text);
}

std::string describeVersion(std::span<const std::uint8_t> version) {
  std::string text;
  for (std::size_t i = 0; i < version.size(); ++i) {
    char hex[4];
    std::snprintf(hex, sizeof hex, "%02X", version[i]);
    text += (i ? " " : "") + std::string(hex);
  }
  if (version.size() <= kVersionByteB) return text;
  const std::uint8_t a = version[kVersionByteA];
  const std::uint8_t b = version[kVersionByteB];
  auto shown = [](std::uint8_t c) {
    return c >= 0x20 && c < 0x7F ? "\"" + std::string(1, static_cast<char>(c)) + "\"" : hexByte(c);
  };
  const bool writable = versionAllowsSettingsWrite(a, b);
  text += "\n              byte 13 " + shown(a) + ", byte 15 " + shown(b) +
          (writable ? ": settings may be written" : ": settings are read-only");
  if (version[0] != kAck) text += "; byte 0 is not " + hexByte(kAck) + "!";
  return text;
}

std::string unitEventName(std::uint8_t code) {
  switch (code) {
    case device::kCallerIdA:
      return "Caller ID A";
    case device::kCallerIdB:
      return "Caller ID B";
    case device::kRingEvent:
      return "Ringing";
    case device::kDialOutEvent:
      return "Dial out";
    case device::kAnsweringEvent:
      return "Answering";
    case device::kAudioEvent:
      return "Audio";
    case device::kCallEndEvent:
      return "Call end";
    case device::kCalloutEndEvent:
      return "Callout end";
    case device::kDigitEvent:
      return "Digit";
    case device::kVarStartEvent:
      return "VAR start";
    case device::kVarEndEvent:
      return "VAR end";
    default:
      return "code " + std::to_string(code) + " (ignored)";
  }
}

std::string recordDetail(const device::StreamRecord& record) {
  using device::DigitTable;
  switch (record.code) {
    case device::kCallerIdA:
    case device::kCallerIdB:
    case device::kCallEndEvent:
      return trimRight(device::unpackDigits(record.payload, device::kCallerNumberOffset,
                                            device::kCallerNumberDigits, DigitTable::A));
    case device::kCalloutEndEvent:
    case device::kVarEndEvent:
      return trimRight(device::unpackDigits(record.payload, device::kDialledNumberOffset,
                                            device::kDialledNumberDigits, DigitTable::B));
    case device::kDigitEvent: {
      const std::uint8_t d = record.payload.empty() ? 0 : record.payload[0];
      if (d == 0) return "(none)";
      return d == 10 ? "0" : std::to_string(d);
    }
    default:
      return {};
  }
}

}  // namespace parvolin::tools
