#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "base/prompt.h"
#include "config/configure_host.h"

namespace parvolin::config {

// "H/W Settings(Unit1)" to "H/W Settings(Unit4)" for unit 0-3.
std::string hardwarePageTitle(int unit);
// "Port 1" to "Port 16": port 0-3 of unit 0-3.
std::string portLabel(int unit, int port);

// The entries of the page's lists; an entry's index is the register's index.
inline constexpr std::array<std::string_view, 4> kVarThresholdEntries = {
    "0: Extra Sensitive", "1: High Sensitivity", "2: Mid Sensitivity", "3: Low Sensitivity"};
inline constexpr std::array<std::string_view, 4> kVarTurnOffDelayEntries = {
    "0: 4 seconds", "1: 12 seconds", "2: 32 seconds", "3: 100 seconds"};
inline constexpr std::array<std::string_view, 4> kVarTimeoutEntries = {
    "0: 20 minutes", "1: 40 minutes", "2: 60 minutes", "3: 120 minutes"};
inline constexpr std::array<std::string_view, 4> kAudioModeEntries = {
    "0. Large file, Good audio", "1. Tiny file, Poor audio", "2. Small file, Good audio",
    "3. Large file, Best audio"};
inline constexpr std::string_view kPreRingDtmfText = "pre-Ring DTMF";
inline constexpr std::string_view kPreRingFskText = "pre-Ring FSK";
inline constexpr std::string_view kForcedFskText = "Forced FSK Between Rings";

// Messages of the page's construction (reading the unit's settings).
inline constexpr std::string_view kCallerIdUnreadableText =
    "Failed to read pre-Ring caller ID mode. Quit and retry please!";
inline constexpr std::string_view kCallerIdNotSetText =
    "Failed to set caller ID mode. Quit and retry please!";
inline constexpr std::string_view kVarPortsUnreadableText =
    "Failed to read VAR mode ports. Quit and retry please!";
inline constexpr std::string_view kVarThresholdUnreadableText =
    "Failed to read VAR mode Vth. Quit and retry please!";
inline constexpr std::string_view kVarTimeoutUnreadableText =
    "Failed to read VAR mode TimeOut mode. Quit and retry please!";
// "Found the pre-Ring caller ID mode(%X) is not set in the hardware!\nTo set it initially?"
std::string callerIdQuestion(std::uint8_t value);

// Messages of "Write Hardware" besides those of its table (hardware_page.cpp).
inline constexpr std::string_view kVarSettingsWrittenText =
    "VAR channels and mode settings are successfully writen into hardware.\nYou must restart the "
    "hardware(Power OFF and ON) for them to take effect!";
// "The mode after setting: %d.\n\nYou need to restart the hardware to make the setting
// effective!"
std::string audioModeWrittenText(int mode);
// A list without a choice would make a value outside its register's range.
inline constexpr std::string_view kChooseEveryListText =
    "Please choose an entry in every list (VAR Voltage Threshold, VAR Turn Off Delay, VAR "
    "TimeOut and the hardware audio mode) before writing the settings into the hardware.";

inline constexpr int kNoSelection = -1;

// The values of a hardware page's controls.
struct HardwareFields {
  std::array<bool, 4> varPort{};    // the port records in VAR mode instead of voltage sensing
  int varThreshold = kNoSelection;  // list index 0-3, or kNoSelection
  int varTurnOffDelay = kNoSelection;
  int varTimeout = kNoSelection;
  bool preRingDtmf = false;
  bool preRingFsk = false;
  bool forcedFskBetweenRings = false;
  int audioMode = 3;  // list index 0-3 (the unit's AudioMode)
  std::string deviceId;

  bool operator==(const HardwareFields&) const = default;
};

// The register values the fields stand for.
std::uint8_t varPortsValue(const HardwareFields& fields);
std::uint8_t callerIdModeValue(const HardwareFields& fields);
// Every list has an entry chosen.
bool everyListChosen(const HardwareFields& fields);

// One unit's hardware settings page: reads the unit's settings when it is made, queries the
// unit's version when its window is made, and writes and verifies the settings on "Write
// Hardware". Every failure is shown through the prompt; nothing is thrown. `host` and `prompt`
// outlive the page. Each unit command runs through the host's withLink(), between the recorder's
// poll ticks; the messages between them are shown on the caller's thread.
class HardwarePage {
 public:
  enum class WriteResult {
    kDone,           // every register holds its value (the messages said which changed)
    kStopped,        // a register failed; its message was shown; the earlier ones were written
    kListNotChosen,  // a list has no entry chosen; nothing was sent
    kNotEnabled,     // the version does not allow writing; nothing was sent
  };

  // Reads, when the unit is present, its caller-ID mode (asking to set an unset one), VAR
  // ports, threshold, turn-off delay and time-out, stopping at the first failed read with its
  // message; the fields not read keep their initial values.
  HardwarePage(int unit, ConfigureHost& host, base::Prompt& prompt);

  int unit() const { return unit_; }
  const HardwareFields& fields() const { return fields_; }

  // The page's initialisation: queries the unit's version. When it answers with the acknowledge
  // byte, true; and when its bytes 13 and 15 allow it, the device ID becomes the unit's serial
  // number and writing is enabled. Otherwise "ERROR: Failed to get Orvane version!" is shown and
  // false returned.
  bool initialise();
  bool writeEnabled() const { return writeEnabled_; }

  // "Write Hardware": takes `controls` as the page's values, then for the VAR ports, threshold,
  // turn-off delay and time-out, the audio encoder mode and the caller-ID mode in this order
  // reads the register, and when it differs writes it, reads it back and shows the success
  // message. The audio mode write goes through the unit's AudioMode, which holds the value read
  // back afterwards.
  WriteResult writeHardware(const HardwareFields& controls);

 private:
  void readSettings();
  // One unit command through the host; a unit that is absent answers as a failed command.
  device::CommandReply readRegister(device::Register reg);
  device::CommandReply writeRegister(device::Register reg, std::uint8_t value);

  int unit_;
  ConfigureHost& host_;
  base::Prompt& prompt_;
  HardwareFields fields_;
  bool writeEnabled_ = false;
};

}  // namespace parvolin::config
