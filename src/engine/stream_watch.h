#pragma once

// The stream watch: a unit that was reset while it stayed attached stops streaming without any
// error, and a unit that is lost for good leaves its calls hanging. Both are noticed here, after
// every unit pass; the engine ends the calls they cut off, so that their audio reaches its file
// and the ports are free.

#include <array>
#include <cstdint>
#include <optional>

#include "base/clock.h"
#include "base/diagnostics.h"
#include "device/unit_link.h"
#include "engine/unit_pass_reads.h"
#include "engine/unit_streams.h"

namespace parvolin::engine {

// A unit that has sent nothing for this long while one of its ports is in a recorded call, or
// for kIdleStreamCheckMs in any case, has its stream control byte read; a 0 there means the unit
// was reset, and its stream is started again.
inline constexpr std::int64_t kStalledStreamMs = 5'000;
inline constexpr std::int64_t kIdleStreamCheckMs = 30'000;
// A unit lost this long has the calls it was in ended.
inline constexpr std::int64_t kLostUnitCallsMs = 30'000;

// Why the calls of a unit were cut off.
enum class CutOff {
  kReset,     // the unit stopped streaming without going away: its stream must start again
  kReopened,  // the unit went away and came back, starting afresh
  kGone,      // the unit has been lost for kLostUnitCallsMs
};

// The reason as the cut-off message gives it ("Unit2 was reset").
const char* cutOffReason(CutOff why);

class StreamWatch {
 public:
  // Every reference must outlive the watch.
  StreamWatch(UnitStreams& units, base::Clock& clock, base::Diagnostics& diagnostics);

  // The unit's stream was started (its set-up went through): from now on its stream control byte
  // is read when it falls quiet. A unit outside 0-3 is ignored.
  void watch(int unit);

  // After a pass of `unit` (0-3) that read `pass` and got bytes or not; `inRecordedCall` tells
  // whether one of its ports is in a recorded call. Reports the unit's loss and its return, and
  // reads the stream control byte of a quiet unit that streams (a 0 is reported as a reset).
  // Returns why the unit's calls are over, if they are; after kReset the caller starts the
  // unit's stream again.
  std::optional<CutOff> afterPass(int unit, const PassReads& pass, bool gotBytes,
                                  bool inRecordedCall);

 private:
  struct UnitWatch {
    bool streaming = false;          // its stream was started: a 0 control byte is a reset
    bool lost = false;               // its loss was reported, its return not yet
    std::int64_t quietSinceMs = -1;  // the unit's last bytes, or the last check of its stream
    std::int64_t lostSinceMs = -1;   // when the unit was found lost
  };

  void noteLoss(int unit, const PassReads& pass);

  UnitStreams& units_;
  base::Clock& clock_;
  base::Diagnostics& diagnostics_;
  std::array<UnitWatch, device::kMaxUnits> watched_{};
};

}  // namespace parvolin::engine
