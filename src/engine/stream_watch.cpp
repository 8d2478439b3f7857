#include "engine/stream_watch.h"

#include <string>

namespace parvolin::engine {
namespace {

std::string unitText(int unit, const char* what) {
  return "Unit" + std::to_string(unit + 1) + ": " + what;
}

}  // namespace

const char* cutOffReason(CutOff why) {
  switch (why) {
    case CutOff::kReset:
      return "was reset";
    case CutOff::kReopened:
      return "was lost and has been opened again";
    case CutOff::kGone:
      break;
  }
  return "has been lost for 30 s";
}

StreamWatch::StreamWatch(UnitStreams& units, base::Clock& clock, base::Diagnostics& diagnostics)
    : units_(units), clock_(clock), diagnostics_(diagnostics) {}

void StreamWatch::watch(int unit) {
  if (unit >= 0 && unit < device::kMaxUnits) watched_[std::size_t(unit)].streaming = true;
}

void StreamWatch::noteLoss(int unit, const PassReads& pass) {
  bool& lost = watched_[std::size_t(unit)].lost;
  if (pass.reopenTried && !lost) {
    lost = true;
    diagnostics_.report(unitText(unit, "lost; trying to open it again"));
  }
  if (pass.reopened) {
    lost = false;
    diagnostics_.report(unitText(unit, "open again"));
  }
}

std::optional<CutOff> StreamWatch::afterPass(int unit, const PassReads& pass, bool gotBytes,
                                             bool inRecordedCall) {
  noteLoss(unit, pass);
  UnitWatch& watch = watched_[std::size_t(unit)];
  const std::int64_t now = clock_.monotonicMs();
  if (gotBytes || watch.quietSinceMs < 0) watch.quietSinceMs = now;
  if (pass.reopened) {
    // The unit went away and came back: it starts afresh, and a call it was in is over.
    watch.lostSinceMs = -1;
    watch.quietSinceMs = now;
    watch.streaming = true;
    return CutOff::kReopened;
  }
  if (!units_.isPresent(unit)) {
    if (watch.lostSinceMs < 0) {
      watch.lostSinceMs = now;
    } else if (now - watch.lostSinceMs >= kLostUnitCallsMs) {
      return CutOff::kGone;
    }
    return std::nullopt;
  }
  watch.lostSinceMs = -1;
  if (!watch.streaming) return std::nullopt;
  // A port in a recorded call sends audio all the time, so a unit that has said nothing for a
  // few seconds then has nothing queued either: its command answer cannot take the place of
  // stream bytes.
  if (now - watch.quietSinceMs < (inRecordedCall ? kStalledStreamMs : kIdleStreamCheckMs)) {
    return std::nullopt;
  }
  watch.quietSinceMs = now;
  const std::optional<std::uint8_t> control = units_.readStreamControl(unit);
  // No answer: a unit that is gone shows up as a failed read on the next tick.
  if (!control || *control != 0) return std::nullopt;
  diagnostics_.report(unitText(unit, "had stopped streaming (it was reset); stream started again"));
  return CutOff::kReset;
}

}  // namespace parvolin::engine
