#pragma once

#include <cstdint>
#include <string>

namespace parvolin::base {

// Where the system takes its time from. The wall clock gives the call times written into the
// call log and the file names; the monotonic clock bounds the device reads. Tests and replays run
// on a VirtualClock, so that minutes of calls pass in milliseconds and every run is repeatable.
class Clock {
 public:
  virtual ~Clock() = default;

  // Milliseconds since 1970-01-01 00:00 UTC.
  virtual std::int64_t wallMs() = 0;
  // Milliseconds on a clock that never steps back; its origin is arbitrary.
  virtual std::int64_t monotonicMs() = 0;
  // Lets time pass: sleeps on the system clock, advances a virtual one.
  virtual void sleepMs(std::int64_t ms) = 0;

  // Whole seconds since 1970 (rounded down), the form of every time the engine stores.
  std::int64_t wallSeconds() {
    const std::int64_t ms = wallMs();
    return ms >= 0 ? ms / 1000 : -((-ms + 999) / 1000);
  }
};

class SystemClock final : public Clock {
 public:
  std::int64_t wallMs() override;
  std::int64_t monotonicMs() override;
  void sleepMs(std::int64_t ms) override;
};

// A clock that moves only when told to. Wall and monotonic time advance together.
class VirtualClock final : public Clock {
 public:
  explicit VirtualClock(std::int64_t startWallMs = 1'700'000'000'000) : wallMs_(startWallMs) {}

  std::int64_t wallMs() override { return wallMs_; }
  std::int64_t monotonicMs() override { return monotonicMs_; }
  void sleepMs(std::int64_t ms) override { advanceMs(ms); }

  void advanceMs(std::int64_t ms) {
    if (ms <= 0) return;
    wallMs_ += ms;
    monotonicMs_ += ms;
  }
  // Steps the wall clock alone (a clock adjusted by the user or by time synchronisation).
  void stepWallMs(std::int64_t deltaMs) { wallMs_ += deltaMs; }

 private:
  std::int64_t wallMs_;
  std::int64_t monotonicMs_ = 0;
};

// The two forms a call time is shown in: the time of day, and the date with it.
inline constexpr const char* kTimeOfDayFormat = "%H:%M:%S";
inline constexpr const char* kDateAndTimeFormat = "%Y-%m-%d %H:%M:%S";

// A wall time in whole seconds since 1970 as the local time zone reads it, written by the
// strftime `format` (one of the forms above, or another of up to 63 characters once written).
std::string localTimeText(std::int64_t seconds, const char* format);

}  // namespace parvolin::base
