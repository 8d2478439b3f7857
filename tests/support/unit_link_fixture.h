#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/clock.h"
#include "device/unit_link.h"
#include "device/unit_protocol.h"
#include "support/scripted_d2xx.h"

namespace parvolin::test {

using Bytes = std::vector<std::uint8_t>;
using Call = ScriptedD2xx::Call;

// A responder for ScriptedD2xx devices: answers every stream control frame as a unit would,
// echoing the value written.
inline void answerStreamControl(ScriptedD2xx::Device& d, const Bytes& frame) {
  if (frame.size() == device::protocol::kStreamControlFrameSize &&
      frame[3] == device::protocol::kStreamControlCommand) {
    d.chunks.push_back({static_cast<std::uint8_t>(frame[4] & 0x7F), device::protocol::kAck});
  }
}

// The four present flags, for comparing them all at once.
inline std::array<std::uint32_t, 4> presentFlags(const device::UnitLink& link) {
  std::array<std::uint32_t, 4> flags{};
  for (int u = 0; u < 4; ++u) flags[u] = link.isPresent(u) ? 1 : 0;
  return flags;
}

class UnitLinkTest : public ::testing::Test {
 protected:
  ScriptedD2xx::Device& addUnit(const std::string& serial) {
    auto& d = d2xx.addDevice(serial);
    d.onWrite = answerStreamControl;
    return d;
  }
  std::string slot(int unit) const { return std::string(link.serial(unit)); }
  // Forgets the calls made so far, so that a test sees only those of the step it checks.
  void clearLog() { d2xx.log.clear(); }
  // The reads made since the log was cleared.
  int reads() const { return d2xx.count(Call::kRead); }

  base::VirtualClock clock;
  ScriptedD2xx d2xx{clock};
  device::UnitLink link{d2xx, clock};
};

}  // namespace parvolin::test
