#pragma once

#include <array>
#include <cstdint>
#include <optional>

#include "device/unit_link.h"

namespace parvolin::engine {

// What a unit pass needs from the units: the UnitLink in a live run, a scripted fake in tests.
class UnitStreams {
 public:
  virtual ~UnitStreams() = default;
  // The unit was listed when the main window opened, so it is polled.
  virtual bool isListed(int unit) const = 0;
  virtual bool isPresent(int unit) const = 0;
  // Up to `n` stream bytes into `buffer`; 0 when nothing came or the read failed (which clears
  // the present flag).
  virtual std::uint32_t readStream(std::uint8_t* buffer, std::uint32_t n, int unit) = 0;
  virtual bool reopenUnit(int unit) = 0;
  // Starts the stream of a reopened unit afresh (UnitLink::restartStream). The result is not
  // checked.
  virtual void restartStream(int unit) = 0;
  // The unit's stream control byte as it answers it (0 stopped, 0x4D streaming); nothing when it
  // did not answer.
  virtual std::optional<std::uint8_t> readStreamControl(int unit) = 0;
};

// The units of a live run.
class LinkStreams final : public UnitStreams {
 public:
  explicit LinkStreams(device::UnitLink& link) : link_(link) {}
  bool isListed(int unit) const override { return link_.isListed(unit); }
  bool isPresent(int unit) const override { return link_.isPresent(unit); }
  std::uint32_t readStream(std::uint8_t* buffer, std::uint32_t n, int unit) override;
  bool reopenUnit(int unit) override;
  void restartStream(int unit) override;
  std::optional<std::uint8_t> readStreamControl(int unit) override;

 private:
  device::UnitLink& link_;
};

// No unit to read: a replay feeds the engine from a capture instead.
class NoUnitStreams final : public UnitStreams {
 public:
  bool isListed(int) const override { return false; }
  bool isPresent(int) const override { return false; }
  std::uint32_t readStream(std::uint8_t*, std::uint32_t, int) override { return 0; }
  bool reopenUnit(int) override { return false; }
  void restartStream(int) override {}
  std::optional<std::uint8_t> readStreamControl(int) override { return std::nullopt; }
};

}  // namespace parvolin::engine
