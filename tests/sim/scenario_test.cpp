#include "sim/scenario.h"

#include <gmock/gmock.h>

#include <fstream>

#include "device/digit_code.h"
#include "device/stream_record.h"
#include "sim/random_calls.h"
#include "sim_test_support.h"
#include "support/test_files.h"

namespace parvolin::test {
namespace {

using Kind = sim::SimEvent::Kind;
using ::testing::HasSubstr;

std::optional<sim::Scenario> parse(const std::string& text, std::string& error) {
  return sim::parseScenario(text, "t.scenario", PARVOLIN_SOURCE_DIR "/data", error);
}

TEST(ScenarioTest, ParsesUnitsEventsAndRelativeTimes) {
  std::string error;
  const auto s = parse(R"(# two units
unit P100 mode=0 varports=0x5C number=0xA1B2C3D4 version13=0 queue=8192
unit P200   # defaults
random 2 seed=5 from=10 until=60
2.5  1/1 ring
+0.5 P100/1 callerid B 0551234;
+2   1/1 answer
+0   1/1 talk 12.25 tone:440
+13  1/1 callend 0551234
1    2/4 dialout 905
7    2/4 calloutend 905
3    2/3 digit 0
3    2/3 digit 12
9    2 wrongack 1.5 0x33
)",
                       error);
  ASSERT_TRUE(s) << error;
  ASSERT_EQ(s->units.size(), 2u);
  const sim::UnitConfig& first = s->units[0].config;
  EXPECT_EQ(first.serial, "P100");
  EXPECT_EQ(first.registers.audioMode, 0);
  EXPECT_EQ(first.registers.varPorts, 0x5C);
  EXPECT_EQ(first.registers.callerIdMode, 0x53);
  EXPECT_EQ(first.unitNumber, 0xA1B2C3D4u);
  EXPECT_EQ(first.version[13], '0');
  EXPECT_EQ(first.queueCapacity, 8192u);
  EXPECT_FALSE(s->units[0].randomCalls);
  EXPECT_TRUE(s->units[1].randomCalls);
  EXPECT_EQ(s->units[1].randomFromMs, 10'000);
  EXPECT_EQ(s->units[1].randomUntilMs, 60'000);

  struct Expected {
    std::size_t unit;
    Kind kind;
    int port;
    std::int64_t atMs;
  };
  const Expected expected[] = {
      {0, Kind::Ring, 0, 2500},       {0, Kind::CallerId, 0, 3000}, {0, Kind::Answer, 0, 5000},
      {0, Kind::Talk, 0, 5000},       {0, Kind::CallEnd, 0, 18000}, {1, Kind::DialOut, 3, 1000},
      {1, Kind::Digit, 3, 1300},      {1, Kind::Digit, 3, 1600},    {1, Kind::Digit, 3, 1900},
      {1, Kind::CalloutEnd, 3, 7000}, {1, Kind::Digit, 2, 3000},    {1, Kind::Digit, 2, 3000},
      {1, Kind::WrongAck, -1, 9000},
  };
  ASSERT_EQ(s->events.size(), std::size(expected));
  for (std::size_t i = 0; i < std::size(expected); ++i) {
    const auto& e = s->events[i];
    EXPECT_EQ(e.unit, expected[i].unit) << i;
    EXPECT_EQ(e.event.kind, expected[i].kind) << i;
    EXPECT_EQ(e.event.port, expected[i].port) << i;
    EXPECT_EQ(e.event.atMs, expected[i].atMs) << i;
  }
  EXPECT_EQ(s->events[1].event.idType, 'B');
  EXPECT_EQ(s->events[3].event.durationMs, 12'250);
  EXPECT_EQ(s->events[3].event.source.toneHz, 440);
  EXPECT_EQ(s->events[6].event.value, 9);
  EXPECT_EQ(s->events[7].event.value, 10) << "dialled 0 is the value 10";
  EXPECT_EQ(s->events[10].event.value, 10);
  EXPECT_EQ(s->events[11].event.value, 12) << "two figures give a raw value";
  EXPECT_EQ(s->events[12].event.value, 0x33);
  EXPECT_GT(s->endMs(), 60'000) << "the random calls that run until 60 s count";
}

TEST(ScenarioTest, ErrorsNameTheLine) {
  struct Case {
    const char* text;
    const char* message;
  };
  const Case cases[] = {
      {"unit A\n1 1/1 rng\n", "t.scenario:2: unknown port event 'rng'"},
      {"unit A\n\n1 1/5 ring\n", "t.scenario:3: port must be 1 to 4"},
      {"unit A\n1 2/1 ring\n", "t.scenario:2: no unit '2' declared"},
      {"1 1/1 ring\n", "t.scenario:1: no unit '1' declared"},
      {"unit A mode=300\n", "t.scenario:1: bad value '300' for mode"},
      {"unit A colour=red\n", "t.scenario:1: unknown unit setting 'colour'"},
      {"unit A\n1 1/1 callerid C 123\n", "t.scenario:2: caller number type must be A or B"},
      {"unit A\n1 1/1 callerid A 12345678901234\n", "t.scenario:2: more than 12 digits"},
      {"unit A\n1 1/1 callerid A 12=4\n", "t.scenario:2: '=' is not a digit here"},
      {"unit A\n1 1/1 calloutend 12O4\n", "t.scenario:2: 'O' is not a digit here"},
      {"unit A\nx 1/1 ring\n", "t.scenario:2: unknown statement 'x'"},
      {"unit A\n-1 1/1 ring\n", "t.scenario:2: unknown statement '-1'"},
      {"unit A\n1.x 1/1 ring\n", "t.scenario:2: bad time '1.x'"},
      {"unit A\n1 1/1 talk\n", "t.scenario:2: wrong number of arguments for talk"},
      {"unit A\n1 1/1 talk 5 noise\n", "t.scenario:2: unknown audio source 'noise'"},
      {"unit A\n1 1/1 talk 5 missing.wav\n", "t.scenario:2: cannot open"},
      {"unit A\n1 1 badport 3\n", "t.scenario:2: badport takes a port byte of 4 to 255"},
      {"unit A\n1 1 unplug now\n", "t.scenario:2: unplug takes no arguments"},
      {"unit A\n1 1 explode\n", "t.scenario:2: unknown unit event 'explode'"},
      {"unit A\nunit A\n", "t.scenario:2: unit 'A' is declared twice"},
      {"# nothing\n", "t.scenario: no unit declared"},
      // Bytes of the file are quoted escaped, never raw to the terminal.
      {"unit A\n\x1b[2Jx\x07\xff 1/1 ring\n",
       "t.scenario:2: unknown statement '\\x1B[2Jx\\x07\\xFF'"},
  };
  for (const Case& k : cases) {
    std::string error;
    EXPECT_FALSE(parse(k.text, error)) << k.text;
    EXPECT_THAT(error, HasSubstr(k.message)) << k.text;
  }
}

TEST(ScenarioTest, AWavSourceThatIsAFolderIsAnErrorOfItsLine) {
  TempFolder folder;
  std::filesystem::create_directory(folder / "voices.wav");
  std::string error;
  EXPECT_FALSE(
      sim::parseScenario("unit A\n1 1/1 talk 5 voices.wav\n", "t.scenario", folder.path(), error));
  EXPECT_THAT(error, HasSubstr("t.scenario:2: cannot read"));
}

TEST(ScenarioTest, PlaysItsCallsIntoTheStreamWithTheirPayloads) {
  std::string error;
  const auto s = parse(R"(unit A
0    1/2 ring
0.5  1/2 callerid A 0123456789OP
1    1/2 answer
1    1/2 talk 1
2    1/2 callend 0123456789OP
3    1/3 varstart
4    1/3 varend 98765432109876543210;>
)",
                       error);
  ASSERT_TRUE(s) << error;
  base::VirtualClock clock;
  sim::SimD2xx d2xx(*s, clock);
  sim::EmulatedUnit& unit = d2xx.unit(0);
  unit.receive(std::array<std::uint8_t, 6>{0xFD, 0xFD, 0xF0, 0x42, 0x4D, 0xFD});
  clock.advanceMs(5000);
  unit.advance();
  std::vector<std::uint8_t> bytes(unit.readable());
  unit.take(bytes.data(), bytes.size());
  std::vector<std::string> seen;
  device::UnitStreamBuffer buffer;
  std::copy(bytes.begin() + 2, bytes.end(), buffer.readTarget());  // skip the answer
  device::frameRead(buffer, bytes.size() - 2, [&](const device::StreamRecord& r) {
    std::string line = std::to_string(r.port) + ":" + std::to_string(r.code);
    if (r.code == device::kCallerIdA || r.code == device::kCallEndEvent) {
      line += " " + device::unpackDigits(r.payload, 1, 12, device::DigitTable::A);
    }
    if (r.code == device::kVarEndEvent) {
      line += " " + device::unpackDigits(r.payload, 7, 22, device::DigitTable::B);
    }
    if (r.code != device::kAudioEvent || seen.back() != "1:6") seen.push_back(line);
  });
  EXPECT_EQ(seen,
            (std::vector<std::string>{"1:3", "1:1 0123456789OP", "1:5", "1:6", "1:7 0123456789OP",
                                      "2:10", "2:11 98765432109876543210;>"}));
  EXPECT_EQ(unit.audioBlocksQueued(), 15u) << "one second of mode 3 audio";
}

TEST(ScenarioTest, RandomCallsAreTheSameForTheSameSeed) {
  auto run = [](std::uint32_t seed) {
    base::VirtualClock clock;
    sim::Scenario s = sim::builtInScenario();
    s.units[0].randomSeed = seed;
    sim::SimD2xx d2xx(s, clock);
    sim::EmulatedUnit& unit = d2xx.unit(0);
    unit.receive(std::array<std::uint8_t, 6>{0xFD, 0xFD, 0xF0, 0x42, 0x4D, 0xFD});
    std::vector<std::uint8_t> all;
    for (int step = 0; step < 600; ++step) {
      clock.advanceMs(100);
      unit.advance();
      std::vector<std::uint8_t> bytes(unit.readable());
      unit.take(bytes.data(), bytes.size());
      all.insert(all.end(), bytes.begin(), bytes.end());
    }
    return all;
  };
  const auto a = run(3);
  EXPECT_GT(a.size(), 100'000u) << "a minute of calls";
  EXPECT_EQ(a, run(3));
  EXPECT_NE(a, run(4));
}

// Calls played into one vector are the calls played one by one: nothing of the call before is
// left in it.
TEST(ScenarioTest, RandomCallsIntoOneVectorAreTheCallsPlayedOneByOne) {
  for (const bool varPort : {false, true}) {
    sim::RandomCallPlayer single(9, 2, 0, 3'600'000), reused(9, 2, 0, 3'600'000);
    std::vector<sim::SimEvent> call(20, sim::SimEvent{});
    int calls = 0;
    for (; !single.finished(); ++calls) {
      const std::vector<sim::SimEvent> expected = single.takeNextCall(varPort);
      reused.takeNextCall(varPort, call);
      ASSERT_EQ(call.size(), expected.size()) << calls;
      for (std::size_t i = 0; i < call.size(); ++i) {
        EXPECT_EQ(call[i].kind, expected[i].kind) << calls << " " << i;
        EXPECT_EQ(call[i].atMs, expected[i].atMs) << calls << " " << i;
        EXPECT_EQ(call[i].durationMs, expected[i].durationMs) << calls << " " << i;
        EXPECT_EQ(call[i].digits, expected[i].digits) << calls << " " << i;
      }
      EXPECT_EQ(reused.nextCallMs(), single.nextCallMs());
    }
    EXPECT_GT(calls, 50) << "an hour of calls";
    EXPECT_TRUE(reused.finished());
  }
}

// A run that stops at the scenario's end must not cut off the random calls that begin before
// their `until` and last past it.
TEST(ScenarioTest, EndCoversRandomCallsThatRunPastTheirUntil) {
  std::string error;
  const auto s = sim::parseScenario("unit S1\nrandom all seed=5 until=30\n", "t", ".", error);
  ASSERT_TRUE(s) << error;
  const std::int64_t end = s->endMs();
  EXPECT_GE(end, 30'000);
  base::VirtualClock clock;
  sim::SimD2xx d2xx(*s, clock);
  sim::EmulatedUnit& unit = d2xx.unit(0);
  unit.receive(std::array<std::uint8_t, 6>{0xFD, 0xFD, 0xF0, 0x42, 0x4D, 0xFD});
  auto drain = [&] {
    std::vector<std::uint8_t> bytes(unit.readable());
    unit.take(bytes.data(), bytes.size());
    return bytes.size();
  };
  std::size_t before = 0;
  for (std::int64_t t = 0; t < end; t += 100) {
    clock.advanceMs(100);
    unit.advance();
    before += drain();
  }
  EXPECT_GT(before, 0u);
  clock.advanceMs(120'000);
  unit.advance();
  EXPECT_EQ(drain(), 0u) << "nothing is sent after the end";
}

// Random calls that go on for years are not played through one by one: the end is then where
// the last call can end at the latest.
TEST(ScenarioTest, EndOfRandomCallsOverYearsComesQuickly) {
  std::string error;
  const auto s =
      sim::parseScenario("unit S1\nunit S2\nrandom all until=1000000000\n", "t", ".", error);
  ASSERT_TRUE(s) << error;
  const std::int64_t end = s->endMs();
  EXPECT_GE(end, 1'000'000'000'000);
  EXPECT_LE(end, 1'000'000'000'000 + 60'000);
}

// A smaller bound on the calls played gives the latest end of the ports it does not play to their
// end, and never an end before the one played through.
TEST(ScenarioTest, EndOfRandomCallsPastTheBoundIsTheLatestPossible) {
  std::string error;
  const auto s = sim::parseScenario("unit S1\nrandom all seed=5 until=300\n", "t", ".", error);
  ASSERT_TRUE(s) << error;
  const std::int64_t played = s->endMs();
  const std::int64_t latest = 300'000 + sim::kLongestRandomCallMs;
  EXPECT_LT(played, latest);
  struct Case {
    std::int64_t bound, end;
  };
  const Case cases[] = {{0, latest}, {1, latest}, {10, latest}, {100'000, played}};
  for (const Case& c : cases) EXPECT_EQ(s->endMs(c.bound), c.end) << c.bound;
}

TEST(ScenarioTest, DemoScenarioLoads) {
  std::string error;
  const auto s = sim::loadScenario(PARVOLIN_SOURCE_DIR "/data/demo.scenario", error);
  ASSERT_TRUE(s) << error;
  EXPECT_EQ(s->units.size(), 2u);
  EXPECT_GE(s->endMs(), 50'000);
}

TEST(ScenarioTest, AFolderOrAMissingFileIsNamedWithWhatIsWrong) {
  TempFolder folder;
  std::string error;
  EXPECT_FALSE(sim::loadScenario(folder.path(), error));
  EXPECT_THAT(error,
              HasSubstr(folder.path().string() + ": cannot read the scenario: Is a directory"));
  EXPECT_FALSE(sim::loadScenario(folder / "none.scenario", error));
  EXPECT_THAT(error, HasSubstr("none.scenario: cannot read the scenario: No such file"));
}

}  // namespace
}  // namespace parvolin::test
