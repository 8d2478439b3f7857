#pragma once

#include <cstdint>
#include <vector>

#include "sim/sim_event.h"

namespace parvolin::sim {

// Generated calls for one port, for demos: answered and unanswered incoming calls, outgoing
// calls (some of them short), and voice-activated recordings on VAR ports, with pauses between
// them. The same seed and port give the same calls.
// The longest a random call lasts from its start: an incoming call answered after three rings
// (two more 4 s apart, then up to 3 s to the answer) with 40 s of talk.
inline constexpr std::int64_t kLongestRandomCallMs = 2 * 4000 + 3000 + 40000;

class RandomCallPlayer {
 public:
  RandomCallPlayer(std::uint32_t seed, int port, std::int64_t fromMs, std::int64_t untilMs);

  int port() const { return port_; }
  // Start of the next call (scenario ms), or a time past `untilMs` when no call is left.
  std::int64_t nextCallMs() const { return nextCallMs_; }
  bool finished() const { return nextCallMs_ > untilMs_; }
  // The events of the next call with their times, in order; moves on past the call.
  std::vector<SimEvent> takeNextCall(bool varPort);
  // The same into `call` (emptied first), so that a caller that plays many calls keeps one
  // vector for them all.
  void takeNextCall(bool varPort, std::vector<SimEvent>& call);

 private:
  std::uint32_t nextRandom();
  std::int64_t between(std::int64_t lo, std::int64_t hi);
  std::string randomNumber(std::size_t minDigits, std::size_t maxDigits);

  std::uint32_t state_;
  int port_;
  std::int64_t nextCallMs_;
  std::int64_t untilMs_;
};

}  // namespace parvolin::sim
