#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

#include "device/unit_link.h"
#include "support/unit_link_fixture.h"

namespace parvolin::test {
namespace {

using device::UnitLink;
namespace protocol = device::protocol;

class UnitCommandsTest : public UnitLinkTest {
 protected:
  void SetUp() override {
    addUnit("A");
    ASSERT_TRUE(link.openAll());
    d2xx.device("A").onWrite = nullptr;  // answers are queued by each test
    clearLog();
  }
  void answer(Bytes bytes) { d2xx.queue("A", std::move(bytes)); }
  void silence(int reads) { d2xx.queueSilence("A", reads); }
};

using RegisterOp = bool (UnitLink::*)(bool, std::uint8_t&, int);

struct RegisterCase {
  const char* name;
  RegisterOp op;
  std::uint8_t letter;
};
const RegisterCase kRegisters[] = {
    {"encoderMode", &UnitLink::encoderMode, 0x72},
    {"callerIdMode", &UnitLink::callerIdMode, 0x73},
    {"varPorts", &UnitLink::varPorts, 0x74},
    {"varThreshold", &UnitLink::varThreshold, 0x78},
    {"varTurnOffDelay", &UnitLink::varTurnOffDelay, 0x79},
    {"varTimeout", &UnitLink::varTimeout, 0x7A},
};

TEST_F(UnitCommandsTest, RegisterFramesAndAnswersAreByteExact) {
  for (const auto& r : kRegisters) {
    clearLog();
    std::uint8_t value = 0x52;
    answer({0xB5, 0x57});
    EXPECT_TRUE((link.*r.op)(false, value, 0)) << r.name;
    EXPECT_EQ(value, 0x57);
    value = 0x11;
    answer({0xB5, 0x53});
    EXPECT_TRUE((link.*r.op)(true, value, 0)) << r.name;
    EXPECT_EQ(value, 0x53);
    EXPECT_EQ(
        d2xx.writes(),
        (std::vector<Bytes>{{0xFD, 0xFD, 0xF0, 0x52, r.letter, 0x52, 0xFD},
                            {0xFD, 0xFD, 0xF0, 0x52, std::uint8_t(r.letter | 0x80), 0x11, 0xFD}}))
        << r.name;
  }
}

TEST_F(UnitCommandsTest, StreamControlSendsSevenBitsAndReadsValueThenAck) {
  std::uint8_t value = 0xCD;
  answer({0x4D, 0xB5});
  EXPECT_TRUE(link.streamControl(false, value, 0));
  EXPECT_EQ(value, 0x4D);
  value = 0x4D;
  answer({0x00, 0xB5});
  EXPECT_TRUE(link.streamControl(true, value, 0));
  EXPECT_EQ(value, 0x00);
  EXPECT_EQ(d2xx.writes(), (std::vector<Bytes>{{0xFD, 0xFD, 0xF0, 0x42, 0x4D, 0xFD},
                                               {0xFD, 0xFD, 0xF0, 0x42, 0xCD, 0xFD}}));
}

TEST_F(UnitCommandsTest, WrongAcknowledgeFailsButDeliversTheValueByte) {
  std::uint8_t value = 0;
  answer({0x23, 0x00});
  EXPECT_FALSE(link.streamControl(true, value, 0));
  EXPECT_EQ(value, 0x23);
  answer({0xB4, 0x77});
  EXPECT_FALSE(link.varPorts(true, value, 0));
  EXPECT_EQ(value, 0x77);
  // The acknowledge in the other command's place does not count.
  answer({0xB5, 0x44});
  EXPECT_FALSE(link.streamControl(true, value, 0));
  EXPECT_EQ(value, 0xB5);
  EXPECT_EQ(link.present[0], 1u);
}

TEST_F(UnitCommandsTest, AnswersArrivingInPiecesAreGathered) {
  std::uint8_t value = 0;
  answer({0xB5});
  silence(3);
  answer({0x51, 0x99});  // the second byte belongs to whatever follows
  EXPECT_TRUE(link.varThreshold(true, value, 0));
  EXPECT_EQ(value, 0x51);
  EXPECT_EQ(reads(), 5);
  EXPECT_EQ(d2xx.log.back().wanted, 1u);  // asks only for the missing byte
}

// An answer completed by the 1001st counted read succeeds; one read later the command gives up.
TEST_F(UnitCommandsTest, AnswerBoundIsOneThousandAndOneReads) {
  for (int silent : {999, 1000}) {
    clearLog();
    d2xx.device("A").chunks.clear();
    std::uint8_t value = 0;
    answer({0xB5});
    silence(silent);
    answer({0x52});
    const bool ok = link.encoderMode(true, value, 0);
    EXPECT_EQ(ok, silent == 999);
    EXPECT_EQ(reads(), silent == 999 ? 1001 : 1002);
    EXPECT_EQ(link.present[0], 1u);  // running out of reads never clears it
  }
}

TEST_F(UnitCommandsTest, VersionAnswerInPiecesStopsAtThirtyThreeBytes) {
  std::array<std::uint8_t, 40> buffer;
  buffer.fill(0xEE);
  Bytes version(36);
  for (std::size_t i = 0; i < version.size(); ++i) version[i] = std::uint8_t(0x20 + i);
  version[0] = 0xB5;
  d2xx.device("A").onWrite = [&](ScriptedD2xx::Device& d, const Bytes& frame) {
    EXPECT_EQ(frame, (Bytes{0xFD, 0xFD, 0xF0, 0x56, 0xFD}));
    d.chunks.push_back({version.begin(), version.begin() + 10});
    d.chunks.emplace_back();
    d.chunks.push_back({version.begin() + 10, version.end()});
  };
  EXPECT_TRUE(link.queryVersion(buffer.data(), 0));
  EXPECT_TRUE(std::equal(buffer.begin(), buffer.begin() + 33, version.begin()));
  EXPECT_EQ(buffer[33], 0xEE);
  EXPECT_EQ(d2xx.log.back().wanted, 23u);
}

TEST_F(UnitCommandsTest, VersionQueryDiscardsWhatWasQueuedBeforeTheFrame) {
  std::array<std::uint8_t, 34> buffer{};
  answer(Bytes(32, 0x06));
  answer(Bytes(5, 0x06));
  const Bytes version = [] {
    Bytes v(33, '0');
    v[0] = 0xB5;
    v[13] = '1';
    return v;
  }();
  d2xx.device("A").onWrite = [&](ScriptedD2xx::Device& d, const Bytes&) {
    d.chunks.push_back(version);
  };
  EXPECT_TRUE(link.queryVersion(buffer.data(), 0));
  EXPECT_TRUE(std::equal(version.begin(), version.end(), buffer.begin()));
  EXPECT_EQ(d2xx.log[0].wanted, 32u);
  EXPECT_EQ(d2xx.log[3].call, Call::kWrite);  // after two reads with bytes and an empty one

  // A unit that keeps streaming: the flush gives up after its bound and the query goes on.
  clearLog();
  d2xx.device("A").streaming = true;
  EXPECT_TRUE(link.queryVersion(buffer.data(), 0));
  EXPECT_EQ(d2xx.log[device::kMaxDrainReads].call, Call::kWrite);
}

TEST_F(UnitCommandsTest, UnitNumberIsReadMostSignificantByteFirst) {
  for (Bytes a : {Bytes{0xB5, 0x12}, {0xB5, 0x34}, {0xB5, 0x56}, {0xB5, 0x78}}) answer(a);
  std::uint32_t number = 0;
  EXPECT_TRUE(link.readUnitNumber(number, 0));
  EXPECT_EQ(number, 0x12345678u);
  const auto frames = d2xx.writes();
  ASSERT_EQ(frames.size(), 4u);
  EXPECT_EQ(frames[0][4], 0xDB);
  EXPECT_EQ(frames[3][4], 0xD8);
}

TEST_F(UnitCommandsTest, UnitNumberStaysUnchangedWhenAnyAnswerIsWrong) {
  for (Bytes a : {Bytes{0xB5, 0x12}, {0xB5, 0x34}, {0x00, 0x56}, {0xB5, 0x78}}) answer(a);
  std::uint32_t number = 0xCAFE;
  EXPECT_FALSE(link.readUnitNumber(number, 0));
  EXPECT_EQ(number, 0xCAFEu);
  EXPECT_EQ(d2xx.writes().size(), 3u);  // gives up at once
}

// Which transport failures clear present[unit], per command.
TEST_F(UnitCommandsTest, TransportFailuresClearPresentPerCommand) {
  enum Failure { kWriteFails, kReadFails, kNoAnswer, kFlushReadFails };
  struct Case {
    const char* name;
    std::function<bool()> command;
    Failure failure;
    bool clears;
  };
  std::uint8_t value = 0;
  std::uint32_t number = 0;
  std::array<std::uint8_t, 34> buffer{};
  auto version = [&] { return link.queryVersion(buffer.data(), 0); };
  auto stream = [&] { return link.streamControl(true, value, 0); };
  auto encoder = [&] { return link.encoderMode(true, value, 0); };
  auto unitNumber = [&] { return link.readUnitNumber(number, 0); };
  auto callerId = [&] { return link.callerIdMode(true, value, 0); };
  auto timeout = [&] { return link.varTimeout(true, value, 0); };
  const std::vector<Case> cases = {
      {"version", version, kWriteFails, true},     {"version", version, kReadFails, true},
      {"version", version, kFlushReadFails, true}, {"version", version, kNoAnswer, false},
      {"stream", stream, kWriteFails, true},       {"stream", stream, kReadFails, false},
      {"stream", stream, kNoAnswer, false},        {"encoder", encoder, kWriteFails, true},
      {"encoder", encoder, kReadFails, true},      {"encoder", encoder, kNoAnswer, false},
      {"number", unitNumber, kWriteFails, true},   {"number", unitNumber, kReadFails, true},
      {"number", unitNumber, kNoAnswer, false},    {"callerId", callerId, kWriteFails, false},
      {"callerId", callerId, kReadFails, false},   {"timeout", timeout, kWriteFails, false},
      {"timeout", timeout, kReadFails, false},     {"timeout", timeout, kNoAnswer, false},
  };
  for (const auto& c : cases) {
    link.present[0] = 1;
    d2xx.device("A").chunks.clear();
    const bool isVersion = c.name == std::string("version");
    switch (c.failure) {
      case kWriteFails:
        d2xx.failCall(Call::kWrite);
        break;
      case kReadFails:
        // The version query's flush makes one empty read before the frame.
        d2xx.failCall(Call::kRead, isVersion ? 2 : 1);
        break;
      case kFlushReadFails:
        d2xx.failCall(Call::kRead);
        break;
      case kNoAnswer:
        break;
    }
    EXPECT_FALSE(c.command()) << c.name << " " << c.failure;
    EXPECT_EQ(link.present[0], c.clears ? 0u : 1u) << c.name << " " << c.failure;
  }
}

}  // namespace
}  // namespace parvolin::test
