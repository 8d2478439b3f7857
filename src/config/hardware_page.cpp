#include "config/hardware_page.h"

#include <cstdio>
#include <optional>

#include "device/unit_link.h"
#include "device/unit_protocol.h"

namespace parvolin::config {
namespace {

namespace protocol = device::protocol;
using device::CommandReply;
using device::Register;

// How "Write Hardware" handles one register, and what it shows.
struct WriteStep {
  Register reg;
  std::string_view readFailed;
  std::string_view readBackFailed;
  std::string_view writeFailed;
  std::string_view mismatch;
  std::string_view written;  // empty: the audio mode's text, with the mode read back
};

constexpr std::array<WriteStep, 6> kWriteSteps = {{
    {Register::kVarPorts, kVarPortsUnreadableText, kVarPortsUnreadableText,
     "Failed to set VAR mode ports. Quit and retry please!",
     "Failed to set VAR mode ports. Quit to restart the hardware, try again!",
     kVarSettingsWrittenText},
    {Register::kVarThreshold, kVarThresholdUnreadableText, kVarThresholdUnreadableText,
     "Failed to set VAR mode Vth. Quit and retry please!",
     "Failed to set VAR mode Vth mode. Quit to restart the hardware, try again!",
     kVarSettingsWrittenText},
    {Register::kVarTurnOffDelay, "Failed to read VAR mode Space No. Quit and retry please!",
     "Failed to read VAR mode Space No. Quit and retry please!",
     "Failed to set VAR mode Space No. Quit and retry please!",
     "Failed to set VAR mode SpaceNoMode. Quit to restart the hardware, try again!",
     kVarSettingsWrittenText},
    {Register::kVarTimeout, kVarTimeoutUnreadableText, kVarTimeoutUnreadableText,
     "Failed to set VAR mode TimeOut mode. Quit and retry please!",
     "Failed to set VAR mode TimeoutMode. Quit to restart the hardware, try again!",
     kVarSettingsWrittenText},
    {Register::kEncoderMode,
     "Failed to read hardware Audio Encoder mode. Quit and retry please!",
     "Error: Reading the hardware Audio Encoder mode, please quit and try again!",
     "Error: Setting the hardware Audio Encoder mode, please quit and try again!",
     "Failed to set audio mode. You need to restart the Parvolin hardware for new settings!\n",
     {}},
    {Register::kCallerIdMode, "Failed to read caller ID mode. Quit and retry please!",
     "Failed to read caller ID mode. Quit and retry please!", kCallerIdNotSetText,
     "Failed to finish setting. Please try again after restarting the hardware!",
     "Finished mode setting for caller ID detection. The new setting will be activated after "
     "restart!"},
}};

std::uint8_t varValue(int index) {
  return static_cast<std::uint8_t>(protocol::kValidValueBase + index);
}

std::uint8_t desiredValue(Register reg, const HardwareFields& f) {
  switch (reg) {
    case Register::kVarPorts:
      return varPortsValue(f);
    case Register::kVarThreshold:
      return varValue(f.varThreshold);
    case Register::kVarTurnOffDelay:
      return varValue(f.varTurnOffDelay);
    case Register::kVarTimeout:
      return varValue(f.varTimeout);
    case Register::kEncoderMode:
      return static_cast<std::uint8_t>(f.audioMode);
    case Register::kCallerIdMode:
      return callerIdModeValue(f);
  }
  return 0;
}

bool isListIndex(int index) {
  return index >= 0 && index < 4;
}

}  // namespace

std::string hardwarePageTitle(int unit) {
  return "H/W Settings(Unit" + std::to_string(unit + 1) + ")";
}

std::string portLabel(int unit, int port) {
  return "Port " + std::to_string(unit * device::kPortsPerUnit + port + 1);
}

std::string callerIdQuestion(std::uint8_t value) {
  char text[120];
  std::snprintf(text, sizeof text,
                "Found the pre-Ring caller ID mode(%X) is not set in the hardware!\nTo set it "
                "initially?",
                unsigned(value));
  return text;
}

std::string audioModeWrittenText(int mode) {
  return "The mode after setting: " + std::to_string(mode) +
         ".\n\nYou need to restart the hardware to make the setting effective!";
}

std::uint8_t varPortsValue(const HardwareFields& f) {
  std::uint8_t value = protocol::kValidValueBase;
  for (int port = 0; port < device::kPortsPerUnit; ++port) {
    if (f.varPort[std::size_t(port)]) value |= static_cast<std::uint8_t>(1u << port);
  }
  return value;
}

std::uint8_t callerIdModeValue(const HardwareFields& f) {
  return static_cast<std::uint8_t>(
      protocol::kValidValueBase | (f.preRingDtmf ? protocol::kPreRingDtmfBit : 0) |
      (f.preRingFsk ? protocol::kPreRingFskBit : 0) |
      (f.forcedFskBetweenRings ? 0 : protocol::kFskNotForcedBetweenRingsBit));
}

bool everyListChosen(const HardwareFields& f) {
  return isListIndex(f.varThreshold) && isListIndex(f.varTurnOffDelay) &&
         isListIndex(f.varTimeout) && isListIndex(f.audioMode);
}

HardwarePage::HardwarePage(int unit, ConfigureHost& host, base::Prompt& prompt)
    : unit_(unit), host_(host), prompt_(prompt) {
  fields_.audioMode = host.audioMode(unit);
  bool present = false;
  host.withLink([&](device::UnitLink* link) { present = link && link->isPresent(unit); });
  if (present) readSettings();
}

CommandReply HardwarePage::readRegister(Register reg) {
  CommandReply reply;
  host_.withLink([&](device::UnitLink* link) {
    if (link) reply = link->readRegister(reg, unit_);
  });
  return reply;
}

CommandReply HardwarePage::writeRegister(Register reg, std::uint8_t value) {
  CommandReply reply;
  host_.withLink([&](device::UnitLink* link) {
    if (link) reply = link->writeRegister(reg, value, unit_);
  });
  return reply;
}

void HardwarePage::readSettings() {
  const CommandReply callerId = readRegister(Register::kCallerIdMode);
  if (!callerId) {
    prompt_.message(kCallerIdUnreadableText);
    return;
  }
  std::uint8_t mode = *callerId;
  if (!protocol::callerIdModeValid(mode)) {
    const bool setIt = prompt_.askYesNo(callerIdQuestion(mode), /*safeAnswer=*/false);
    mode = protocol::kDefaultCallerIdMode;
    if (setIt && !writeRegister(Register::kCallerIdMode, mode)) {
      prompt_.message(kCallerIdNotSetText);
      return;
    }
  }
  fields_.preRingDtmf = (mode & protocol::kPreRingDtmfBit) != 0;
  fields_.preRingFsk = (mode & protocol::kPreRingFskBit) != 0;
  fields_.forcedFskBetweenRings = (mode & protocol::kFskNotForcedBetweenRingsBit) == 0;

  const CommandReply ports = readRegister(Register::kVarPorts);
  if (!ports) {
    prompt_.message(kVarPortsUnreadableText);
    return;
  }
  const std::uint8_t bits =
      protocol::varValueValid(*ports) ? protocol::lowNibble(*ports) : protocol::kDefaultVarPortBits;
  for (int port = 0; port < device::kPortsPerUnit; ++port) {
    fields_.varPort[std::size_t(port)] = (bits >> port) & 1;
  }

  struct ListRead {
    Register reg;
    std::string_view failed;
    std::uint8_t fallback;
    int HardwareFields::*index;
  };
  const ListRead lists[] = {
      {Register::kVarThreshold, kVarThresholdUnreadableText, protocol::kDefaultVarThresholdIndex,
       &HardwareFields::varThreshold},
      {Register::kVarTurnOffDelay, device::kTurnOffDelayErrorText,
       protocol::kDefaultVarTurnOffDelayIndex, &HardwareFields::varTurnOffDelay},
      {Register::kVarTimeout, kVarTimeoutUnreadableText, protocol::kDefaultVarTimeoutIndex,
       &HardwareFields::varTimeout},
  };
  for (const ListRead& list : lists) {
    const CommandReply value = readRegister(list.reg);
    if (!value) {
      prompt_.message(list.failed);
      return;
    }
    fields_.*list.index = protocol::varIndex(*value, list.fallback);
  }
}

bool HardwarePage::initialise() {
  std::optional<device::VersionAnswer> version;
  std::string serial;
  host_.withLink([&](device::UnitLink* link) {
    if (!link) return;
    version = link->queryVersion(unit_);
    serial = std::string(link->serial(unit_));
  });
  if (!version || (*version)[0] != protocol::kAck) {
    prompt_.message(device::kVersionErrorText, base::PromptIcon::Exclamation);
    return false;
  }
  if (protocol::versionAllowsSettingsWrite((*version)[protocol::kVersionByteA],
                                           (*version)[protocol::kVersionByteB])) {
    fields_.deviceId = serial;
    writeEnabled_ = true;
  }
  return true;
}

HardwarePage::WriteResult HardwarePage::writeHardware(const HardwareFields& controls) {
  fields_ = controls;
  bool linked = false;
  host_.withLink([&](device::UnitLink* link) { linked = link != nullptr; });
  if (!writeEnabled_ || !linked) return WriteResult::kNotEnabled;
  // A list left without a choice (its read failed when the page was made) would give its
  // register 0x50 - 1 = 0x4F, a value outside the register's range.
  if (!everyListChosen(fields_)) {
    prompt_.message(kChooseEveryListText);
    return WriteResult::kListNotChosen;
  }
  for (const WriteStep& step : kWriteSteps) {
    const std::uint8_t desired = desiredValue(step.reg, fields_);
    const bool audioMode = step.reg == Register::kEncoderMode;
    const CommandReply first = readRegister(step.reg);
    if (!first) {
      prompt_.message(step.readFailed);
      return WriteResult::kStopped;
    }
    if (*first == desired) continue;

    // The audio mode is written from the unit's AudioMode, and every answer lands in it.
    if (audioMode) host_.setAudioMode(unit_, desired);
    const CommandReply written = writeRegister(step.reg, desired);
    if (audioMode && written.value) host_.setAudioMode(unit_, *written.value);
    if (!written) {
      prompt_.message(step.writeFailed);
      return WriteResult::kStopped;
    }
    const CommandReply back = readRegister(step.reg);
    if (audioMode && back.value) host_.setAudioMode(unit_, *back.value);
    if (!back) {
      prompt_.message(step.readBackFailed);
      return WriteResult::kStopped;
    }
    if (*back != desired) {
      prompt_.message(step.mismatch);
      return WriteResult::kStopped;
    }
    prompt_.message(audioMode ? audioModeWrittenText(*back) : std::string(step.written));
  }
  return WriteResult::kDone;
}

}  // namespace parvolin::config
