#pragma once

#include <gtest/gtest.h>

#include <array>
#include <vector>

#include "base/clock.h"
#include "device/stream_framing.h"
#include "device/unit_protocol.h"
#include "sim/sim_d2xx.h"

namespace parvolin::test {

using Bytes = std::vector<std::uint8_t>;

// One emulated unit behind a SimD2xx on a virtual clock, opened through the library calls.
class SimUnitTest : public ::testing::Test {
 protected:
  sim::EmulatedUnit& addUnit(sim::UnitConfig config) {
    sim::EmulatedUnit& unit = d2xx.addUnit(std::move(config));
    return unit;
  }
  device::D2xx::Handle open(const std::string& serial) {
    device::D2xx::Handle h = 0;
    EXPECT_EQ(d2xx.openBySerial(serial, h), device::D2xx::kOk);
    EXPECT_EQ(d2xx.setTimeouts(h, 1, 0), device::D2xx::kOk);
    return h;
  }
  void send(device::D2xx::Handle h, const Bytes& frame) {
    std::uint32_t written = 0;
    ASSERT_EQ(d2xx.write(h, frame.data(), static_cast<std::uint32_t>(frame.size()), written),
              device::D2xx::kOk);
    ASSERT_EQ(written, frame.size());
  }
  Bytes receive(device::D2xx::Handle h, std::uint32_t wanted) {
    Bytes out(wanted);
    std::uint32_t got = 0;
    EXPECT_EQ(d2xx.read(h, out.data(), wanted, got), device::D2xx::kOk);
    out.resize(got);
    return out;
  }
  template <std::size_t N>
  static Bytes bytes(const std::array<std::uint8_t, N>& a) {
    return Bytes(a.begin(), a.end());
  }

  base::VirtualClock clock;
  sim::SimD2xx d2xx{clock};
};

// Records cut from a stream, counted by code and port.
struct StreamTally {
  std::array<std::array<std::uint64_t, 16>, 4> records{};
  std::uint64_t badPortBytes = 0;
  device::UnitStreamBuffer buffer;

  void feed(const std::uint8_t* data, std::size_t n) {
    while (n > 0) {
      const std::size_t chunk = std::min(n, device::UnitStreamBuffer::kMaxRead);
      std::copy_n(data, chunk, buffer.readTarget());
      const auto result = device::frameRead(
          buffer, chunk, [&](const device::StreamRecord& r) { ++records[r.port][r.code & 15]; });
      badPortBytes += result.droppedBytes;
      data += chunk;
      n -= chunk;
    }
  }
  std::uint64_t count(std::uint8_t code) const {
    std::uint64_t n = 0;
    for (const auto& port : records) n += port[code];
    return n;
  }
};

}  // namespace parvolin::test
