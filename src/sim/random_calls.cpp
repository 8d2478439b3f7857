#include "sim/random_calls.h"

namespace parvolin::sim {
namespace {

SimEvent portEvent(SimEvent::Kind kind, int port, std::int64_t atMs) {
  SimEvent e;
  e.kind = kind;
  e.port = port;
  e.atMs = atMs;
  return e;
}

}  // namespace

RandomCallPlayer::RandomCallPlayer(std::uint32_t seed, int port, std::int64_t fromMs,
                                   std::int64_t untilMs)
    : state_((seed + 1) * 2654435761u ^ static_cast<std::uint32_t>(port + 1) * 40503u),
      port_(port),
      nextCallMs_(fromMs),
      untilMs_(untilMs) {
  if (state_ == 0) state_ = 0x1234567u;
  nextCallMs_ = fromMs + between(300, 6000);
}

std::uint32_t RandomCallPlayer::nextRandom() {
  state_ ^= state_ << 13;
  state_ ^= state_ >> 17;
  state_ ^= state_ << 5;
  return state_;
}

std::int64_t RandomCallPlayer::between(std::int64_t lo, std::int64_t hi) {
  return lo + static_cast<std::int64_t>(nextRandom() % static_cast<std::uint32_t>(hi - lo + 1));
}

std::string RandomCallPlayer::randomNumber(std::size_t minDigits, std::size_t maxDigits) {
  const auto count = static_cast<std::size_t>(
      between(static_cast<std::int64_t>(minDigits), static_cast<std::int64_t>(maxDigits)));
  std::string digits = "0";
  while (digits.size() < count) digits += static_cast<char>('0' + between(0, 9));
  return digits;
}

std::vector<SimEvent> RandomCallPlayer::takeNextCall(bool varPort) {
  std::vector<SimEvent> call;
  takeNextCall(varPort, call);
  return call;
}

void RandomCallPlayer::takeNextCall(bool varPort, std::vector<SimEvent>& call) {
  using Kind = SimEvent::Kind;
  // An outgoing call of 11 digits has the most events: 14.
  call.clear();
  call.reserve(16);
  std::int64_t t = nextCallMs_;
  AudioSourceSpec voice;
  voice.seed = nextRandom();
  const int roll = static_cast<int>(between(0, 99));

  if (varPort && roll < 50) {
    // A voice-activated recording, sometimes with digits dialled during it.
    call.push_back(portEvent(Kind::VarStart, port_, t));
    SimEvent talk = portEvent(Kind::Talk, port_, t);
    talk.durationMs = between(5000, 45000);
    talk.source = voice;
    call.push_back(talk);
    t += talk.durationMs;
    SimEvent end = portEvent(Kind::VarEnd, port_, t);
    if (roll < 25) end.digits = randomNumber(7, 11);
    call.push_back(end);
  } else if (roll < 45) {
    // An incoming call, answered after one to three rings.
    call.push_back(portEvent(Kind::Ring, port_, t));
    SimEvent id = portEvent(Kind::CallerId, port_, t + 700);
    id.idType = roll % 2 ? 'A' : 'B';
    id.digits = randomNumber(7, 11);
    call.push_back(id);
    for (std::int64_t r = between(0, 2); r > 0; --r) {
      t += 4000;
      call.push_back(portEvent(Kind::Ring, port_, t));
    }
    t += between(1000, 3000);
    call.push_back(portEvent(Kind::Answer, port_, t));
    SimEvent talk = portEvent(Kind::Talk, port_, t);
    talk.durationMs = between(3000, 40000);
    talk.source = voice;
    call.push_back(talk);
    t += talk.durationMs;
    SimEvent end = portEvent(Kind::CallEnd, port_, t);
    end.digits = id.digits;
    call.push_back(end);
  } else if (roll < 60) {
    // An incoming call nobody answers.
    call.push_back(portEvent(Kind::Ring, port_, t));
    SimEvent id = portEvent(Kind::CallerId, port_, t + 700);
    id.digits = randomNumber(7, 11);
    call.push_back(id);
    for (std::int64_t r = between(1, 4); r > 0; --r) {
      t += 4000;
      call.push_back(portEvent(Kind::Ring, port_, t));
    }
    t += 5000;
    SimEvent end = portEvent(Kind::CallEnd, port_, t);
    end.digits = id.digits;
    call.push_back(end);
  } else {
    // An outgoing call; one in four is short enough to be dropped by the recorder.
    call.push_back(portEvent(Kind::DialOut, port_, t));
    const std::string number = randomNumber(roll < 65 ? 2 : 7, roll < 65 ? 2 : 11);
    for (char c : number) {
      t += 300;
      SimEvent digit = portEvent(Kind::Digit, port_, t);
      digit.value = c == '0' ? 10 : c - '0';
      call.push_back(digit);
    }
    t += between(1000, 4000);
    SimEvent talk = portEvent(Kind::Talk, port_, t);
    talk.durationMs = roll < 75 ? between(2000, 7000) : between(8000, 40000);
    talk.source = voice;
    call.push_back(talk);
    t += talk.durationMs;
    SimEvent end = portEvent(Kind::CalloutEnd, port_, t);
    end.digits = number;
    call.push_back(end);
  }
  nextCallMs_ = t + between(2000, 20000);
}

}  // namespace parvolin::sim
