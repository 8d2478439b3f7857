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

using device::CommandReply;
using device::Register;

struct RegisterCase {
  const char* name;
  Register reg;
  std::uint8_t letter;
};
const RegisterCase kRegisters[] = {
    {"encoderMode", Register::kEncoderMode, 0x72},
    {"callerIdMode", Register::kCallerIdMode, 0x73},
    {"varPorts", Register::kVarPorts, 0x74},
    {"varThreshold", Register::kVarThreshold, 0x78},
    {"varTurnOffDelay", Register::kVarTurnOffDelay, 0x79},
    {"varTimeout", Register::kVarTimeout, 0x7A},
};

TEST_F(UnitCommandsTest, RegisterFramesAndAnswersAreByteExact) {
  for (const auto& r : kRegisters) {
    clearLog();
    answer({0xB5, 0x57});
    const CommandReply written = link.writeRegister(r.reg, 0x52, 0);
    EXPECT_TRUE(written) << r.name;
    EXPECT_EQ(written.value, 0x57);
    answer({0xB5, 0x53});
    const CommandReply read = link.readRegister(r.reg, 0);
    EXPECT_TRUE(read) << r.name;
    EXPECT_EQ(*read, 0x53);
    EXPECT_EQ(
        d2xx.writes(),
        (std::vector<Bytes>{{0xFD, 0xFD, 0xF0, 0x52, r.letter, 0x52, 0xFD},
                            {0xFD, 0xFD, 0xF0, 0x52, std::uint8_t(r.letter | 0x80), 0x00, 0xFD}}))
        << r.name;
  }
}

TEST_F(UnitCommandsTest, StreamControlSendsSevenBitsAndReadsValueThenAck) {
  answer({0x4D, 0xB5});
  const CommandReply written = link.writeStreamControl(0xCD, 0);
  EXPECT_TRUE(written);
  EXPECT_EQ(written.value, 0x4D);
  answer({0x00, 0xB5});
  const CommandReply read = link.readStreamControl(0);
  EXPECT_TRUE(read);
  EXPECT_EQ(read.value, 0x00);
  EXPECT_EQ(d2xx.writes(), (std::vector<Bytes>{{0xFD, 0xFD, 0xF0, 0x42, 0x4D, 0xFD},
                                               {0xFD, 0xFD, 0xF0, 0x42, 0x80, 0xFD}}));
}

TEST_F(UnitCommandsTest, WrongAcknowledgeFailsButDeliversTheValueByte) {
  answer({0x23, 0x00});
  CommandReply reply = link.readStreamControl(0);
  EXPECT_FALSE(reply);
  EXPECT_EQ(reply.value, 0x23);
  answer({0xB4, 0x77});
  reply = link.readRegister(Register::kVarPorts, 0);
  EXPECT_FALSE(reply);
  EXPECT_EQ(reply.value, 0x77);
  // The acknowledge in the other command's place does not count.
  answer({0xB5, 0x44});
  reply = link.readStreamControl(0);
  EXPECT_FALSE(reply);
  EXPECT_EQ(reply.value, 0xB5);
  EXPECT_TRUE(link.isPresent(0));
}

TEST_F(UnitCommandsTest, AnswersArrivingInPiecesAreGathered) {
  answer({0xB5});
  silence(3);
  answer({0x51, 0x99});  // the second byte belongs to whatever follows
  const CommandReply reply = link.readRegister(Register::kVarThreshold, 0);
  EXPECT_TRUE(reply);
  EXPECT_EQ(reply.value, 0x51);
  EXPECT_EQ(reads(), 5);
  EXPECT_EQ(d2xx.log.back().wanted, 1u);  // asks only for the missing byte
}

// An answer completed by the 1001st counted read succeeds; one read later the command gives up.
TEST_F(UnitCommandsTest, AnswerBoundIsOneThousandAndOneReads) {
  for (int silent : {999, 1000}) {
    clearLog();
    d2xx.device("A").chunks.clear();
    answer({0xB5});
    silence(silent);
    answer({0x52});
    const bool ok = bool(link.readRegister(Register::kEncoderMode, 0));
    EXPECT_EQ(ok, silent == 999);
    EXPECT_EQ(reads(), silent == 999 ? 1001 : 1002);
    EXPECT_TRUE(link.isPresent(0));  // running out of reads never clears it
  }
}

TEST_F(UnitCommandsTest, VersionAnswerInPiecesStopsAtThirtyThreeBytes) {
  Bytes version(36);
  for (std::size_t i = 0; i < version.size(); ++i) version[i] = std::uint8_t(0x20 + i);
  version[0] = 0xB5;
  d2xx.device("A").onWrite = [&](ScriptedD2xx::Device& d, const Bytes& frame) {
    EXPECT_EQ(frame, (Bytes{0xFD, 0xFD, 0xF0, 0x56, 0xFD}));
    d.chunks.push_back({version.begin(), version.begin() + 10});
    d.chunks.emplace_back();
    d.chunks.push_back({version.begin() + 10, version.end()});
  };
  const auto answer = link.queryVersion(0);
  ASSERT_TRUE(answer);
  EXPECT_TRUE(std::equal(answer->begin(), answer->end(), version.begin()));
  EXPECT_EQ(d2xx.log.back().wanted, 23u);  // never asks for more than the 33 bytes
}

TEST_F(UnitCommandsTest, VersionQueryDiscardsWhatWasQueuedBeforeTheFrame) {
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
  const auto answer = link.queryVersion(0);
  ASSERT_TRUE(answer);
  EXPECT_TRUE(std::equal(version.begin(), version.end(), answer->begin()));
  EXPECT_EQ(d2xx.log[0].wanted, 32u);
  EXPECT_EQ(d2xx.log[3].call, Call::kWrite);  // after two reads with bytes and an empty one

  // A unit that keeps streaming: the flush gives up after its bound and the query goes on.
  clearLog();
  d2xx.device("A").streaming = true;
  EXPECT_TRUE(link.queryVersion(0));
  EXPECT_EQ(d2xx.log[device::kMaxDrainReads].call, Call::kWrite);
}

TEST_F(UnitCommandsTest, UnitNumberIsReadMostSignificantByteFirst) {
  for (Bytes a : {Bytes{0xB5, 0x12}, {0xB5, 0x34}, {0xB5, 0x56}, {0xB5, 0x78}}) answer(a);
  EXPECT_EQ(link.readUnitNumber(0), 0x12345678u);
  const auto frames = d2xx.writes();
  ASSERT_EQ(frames.size(), 4u);
  EXPECT_EQ(frames[0][4], 0xDB);
  EXPECT_EQ(frames[3][4], 0xD8);
}

TEST_F(UnitCommandsTest, UnitNumberFailsWhenAnyAnswerIsWrong) {
  for (Bytes a : {Bytes{0xB5, 0x12}, {0xB5, 0x34}, {0x00, 0x56}, {0xB5, 0x78}}) answer(a);
  EXPECT_EQ(link.readUnitNumber(0), std::nullopt);
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
  auto version = [&] { return link.queryVersion(0).has_value(); };
  auto stream = [&] { return bool(link.readStreamControl(0)); };
  auto encoder = [&] { return bool(link.readRegister(Register::kEncoderMode, 0)); };
  auto unitNumber = [&] { return link.readUnitNumber(0).has_value(); };
  auto callerId = [&] { return bool(link.readRegister(Register::kCallerIdMode, 0)); };
  auto timeout = [&] { return bool(link.readRegister(Register::kVarTimeout, 0)); };
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
    if (!link.isPresent(0)) {
      ASSERT_TRUE(link.reopenUnit(0));  // a case before cleared it
    }
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
    EXPECT_EQ(link.isPresent(0), !c.clears) << c.name << " " << c.failure;
  }
}

TEST(UnitProtocol, TurnOffDelayCodes) {
  using protocol::varOffDelaySeconds;
  EXPECT_EQ(varOffDelaySeconds(0x50), 4);
  EXPECT_EQ(varOffDelaySeconds(0x52), 32);
  EXPECT_EQ(varOffDelaySeconds(0x53), 100);
  EXPECT_EQ(varOffDelaySeconds(0x07), 12) << "not 0x5n: index 1";
  EXPECT_EQ(varOffDelaySeconds(0x56), std::nullopt) << "an index without a delay: none";
}

}  // namespace
}  // namespace parvolin::test
