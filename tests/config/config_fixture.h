#pragma once

// A hardware page's world for tests: one unit played by the test (its registers, a register that
// ignores writes, a version answer), a link opened on it, and a host over a store in memory.

#include <gtest/gtest.h>

#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "app/working_folder.h"
#include "base/prompt.h"
#include "config/store_host.h"
#include "device/unit_protocol.h"
#include "settings/settings_store.h"
#include "sim/emulated_unit.h"
#include "support/scripted_d2xx.h"
#include "support/scripted_prompt.h"
#include "support/test_files.h"
#include "support/unit_link_fixture.h"

namespace parvolin::config::test {

using parvolin::test::Bytes;
namespace protocol = device::protocol;

// Answers every command frame as a unit does, from its registers (by letter). A register in
// `stuck` keeps its value whatever is written.
struct FakeUnit {
  std::map<std::uint8_t, std::uint8_t> registers{
      {protocol::kEncoderModeRegister, 3},        {protocol::kCallerIdModeRegister, 0x53},
      {protocol::kVarPortsRegister, 0x50},        {protocol::kVarThresholdRegister, 0x52},
      {protocol::kVarTurnOffDelayRegister, 0x51}, {protocol::kVarTimeoutRegister, 0x50}};
  std::set<std::uint8_t> stuck;
  device::VersionAnswer version = sim::defaultVersionAnswer();

  void answer(parvolin::test::ScriptedD2xx::Device& d, const Bytes& frame) {
    if (frame.size() < 5) return;
    if (frame[3] == protocol::kVersionCommand) {
      d.chunks.emplace_back(version.begin(), version.end());
    } else if (frame[3] == protocol::kStreamControlCommand) {
      parvolin::test::answerStreamControl(d, frame);
    } else if (frame[3] == protocol::kRegisterCommand) {
      const std::uint8_t letter = frame[4] & ~protocol::kReadFlag;
      const bool read = (frame[4] & protocol::kReadFlag) != 0;
      if (!read && !stuck.count(letter)) registers[letter] = frame[5];
      d.chunks.push_back({protocol::kAck, registers[letter]});
    }
  }
};

class HardwareTest : public ::testing::Test {
 protected:
  HardwareTest() {
    d2xx.addDevice("PV1").onWrite = [this](auto& d, const Bytes& frame) { unit.answer(d, frame); };
    d2xx.failWhen(parvolin::test::ScriptedD2xx::Call::kWrite, [this](const auto& record) {
      const Bytes& f = record.bytes;
      if (!failCode || f.size() != protocol::kRegisterFrameSize || f[4] != *failCode) return false;
      return ++failSeen == failOccurrence || failOccurrence == 0;
    });
  }
  // Register frames with this code fail to go out: every one, or only the occurrence-th.
  void failFramesWithCode(std::uint8_t code, int occurrence = 0) {
    failCode = code;
    failOccurrence = occurrence;
    failSeen = 0;
  }
  // Opens the link and forgets the calls of the opening.
  void open() {
    ASSERT_TRUE(link.openAll());
    d2xx.log.clear();
  }
  // The register frames written since the log was cleared, as (code, value) pairs.
  std::vector<std::pair<std::uint8_t, std::uint8_t>> registerFrames() const {
    std::vector<std::pair<std::uint8_t, std::uint8_t>> frames;
    for (const Bytes& f : d2xx.writes()) {
      if (f.size() == protocol::kRegisterFrameSize) frames.emplace_back(f[4], f[5]);
    }
    return frames;
  }
  std::vector<std::string> texts() const {
    std::vector<std::string> shown;
    for (const auto& s : prompt.shown) shown.push_back(s.text);
    return shown;
  }

  FakeUnit unit;
  std::optional<std::uint8_t> failCode;
  int failOccurrence = 0;
  int failSeen = 0;
  base::VirtualClock clock;
  parvolin::test::ScriptedD2xx d2xx{clock};
  device::UnitLink link{d2xx, clock};
  parvolin::test::ScriptedPrompt prompt;
  parvolin::test::TempFolder folder;
  settings::MemorySettingsStore store;
  app::FakeWorkingFolder workingFolder{folder.path()};
  StoreHost host{store, engine::RecorderSettings(), workingFolder, &link};
};

}  // namespace parvolin::config::test
