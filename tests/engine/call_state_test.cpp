#include <gtest/gtest.h>

#include "engine/call_log.h"
#include "engine/html_list.h"
#include "engine_harness.h"

namespace parvolin::engine::test {
namespace {

std::string text(const CallRecord& r) {
  return std::string(r.text());
}

// An answered incoming call on Port 2 (unit 1, port byte 1, mode 3, LV files, list on).
TEST(CallStateMachine, AnsweredIncomingCallOnPort2ByteForByte) {
  UtcZone utc;
  EngineHarness h;
  const std::uint32_t t0 = kT1 - 4;
  h.feed(ring(1), t0);
  EXPECT_EQ(h.port(1).statusText(), " Port:  2          Ringing");
  EXPECT_EQ(h.port(1).record.callType, 6);
  EXPECT_EQ(h.port(1).record.startTime, t0);

  h.feed(callerId(1, {0x55, 0x51, 0x23, 0x4A, 0x00, 0x00}), kT1);
  EXPECT_EQ(h.port(1).statusText(), " Port:  2          Caller #");
  EXPECT_EQ(h.port(1).detailText, "Caller #:\n55512340    ");
  EXPECT_EQ(h.port(1).record.callType, 2);
  EXPECT_EQ(h.port(1).record.startTime, kT1);

  h.feed(answering(1), kT1 + 2);
  EXPECT_EQ(h.port(1).statusText(), " Port:  2          Answering");
  EXPECT_EQ(h.port(1).record.callType, 3);

  h.feed(audio(1, 0x11), kT1 + 3);
  EXPECT_EQ(h.port(1).statusText(), " Port:  2          Recording");
  EXPECT_TRUE(h.exists("w499602D2p1.LV3"));
  h.feed(audio(1, 0x22) + audio(1, 0x33), kT1 + 4);
  EXPECT_EQ(h.port(1).statusText(), " Port:  2          Recording");  // third block
  EXPECT_EQ(h.file("w499602D2p1.LV3").size(), 0u) << "blocks collect in the buffer";

  h.feed(callEnd(1, {0x55, 0x51, 0x23, 0x4A, 0x00, 0x00}), kT1 + 125);
  EXPECT_EQ(h.port(1).statusText(), " Port:  2         Answered ");

  const std::string audioFile = h.file("w499602D2p1.LV3");
  ASSERT_EQ(audioFile.size(), 3u * 512);
  EXPECT_EQ(audioFile[0], 0x11);
  EXPECT_EQ(audioFile[1024], 0x33);

  const std::string logBytes = h.file(kCallLogName);
  const std::string expectedLog = std::string("\x01\x03", 2) + "55512340              " +
                                  std::string("\xD2\x02\x96\x49\x7D\x00\x03\x00", 8);
  EXPECT_EQ(logBytes, expectedLog);

  const std::string list = h.list();
  ASSERT_EQ(list.substr(0, kHtmlHeaderSize), std::string(kHtmlHeader));
  EXPECT_EQ(list.substr(kHtmlHeaderSize),
            "<tr><td><p align=center>    1</td><td><p align=center>2</td>"
            "<td><p align=center>In</td><td>55512340              </td>"
            "<td><p align=center>02-13-09 23:31:30</td>"
            "<td><p align=right>2'05\"<A HREF=\"w499602D2p1.LV3\">Play</A></td></tr>\r\n");
  EXPECT_EQ(h.engine->capacity().loggedItems, 1);
  EXPECT_EQ(h.view.capacity.itemsText, "Logged Items: 1 / 2000 ");
  EXPECT_EQ(h.view.capacity.spaceText, "Logged Space: 0 / 500 (MB)");
  EXPECT_EQ(h.engine->capacity().loggedBlocks, 3);
  // The port is reset, its end line stays.
  EXPECT_EQ(h.port(1).record.callType, 0);
  EXPECT_EQ(text(h.port(1).record), std::string(22, ' '));
  EXPECT_EQ(h.port(1).record.startTime, kT1);
}

TEST(CallStateMachine, CallEventsAreIgnoredWhileRecordingIsShown) {
  const std::vector<Bytes> guarded = {callerId(0, {0x12}), ring(0), dialOut(0), answering(0),
                                      varStart(0)};
  for (int blocks : {1, 2}) {  // "Recording", then "---------"
    for (const Bytes& event : guarded) {
      EngineHarness h;
      for (int i = 0; i < blocks; ++i) h.feed(audio(0, 1), kT1);
      const CallRecord record = h.port(0).record;
      const std::string status = h.port(0).statusText();
      const std::string detail = h.port(0).detailText;
      h.feed(event + digit(0, 5), kT1 + 9);  // the digit after it proves the payload was consumed
      EXPECT_EQ(h.port(0).record, record) << int(event[1]);
      EXPECT_EQ(h.port(0).statusText(), status);
      EXPECT_EQ(h.port(0).detailText, detail + "5");
    }
  }
}

TEST(CallStateMachine, RingAndCallerNumberInEitherOrder) {
  EngineHarness h;
  h.feed(callerId(0, {0x12}), kT1);
  h.feed(ring(0), kT1 + 3);
  EXPECT_EQ(h.port(0).record.callType, 2);
  EXPECT_EQ(h.port(0).record.startTime, kT1);
  EXPECT_EQ(h.port(0).statusText(), " Port:  1          Ringing");

  h.feed(callerId(1, {0x34}) + ring(1), kT1);
  h.feed(callerId(1, {0x56}), kT1 + 5);
  EXPECT_EQ(h.port(1).record.callType, 2);
  EXPECT_EQ(h.port(1).record.startTime, kT1 + 5);
  EXPECT_EQ(text(h.port(1).record).substr(0, 2), "56");
}

TEST(CallStateMachine, AudioOnIdlePortStartsACallWithItsFileAtOnce) {
  EngineHarness h;
  h.feed(audio(3, 0), kT1 + 7);
  EXPECT_EQ(h.port(3).record.callType, 1);
  EXPECT_EQ(h.port(3).record.startTime, kT1 + 7);
  EXPECT_EQ(h.port(3).record.firstAudioSec, 1);
  EXPECT_TRUE(h.exists("w499602D9p3.LV3"));
  // Ended by an incoming-call end it becomes 7.
  h.feed(callEnd(3), kT1 + 20);
  ASSERT_EQ(h.log().size(), 1u);
  EXPECT_EQ(h.log()[0].callType, 7);
}

TEST(CallStateMachine, UnansweredCallWithoutNumberIsLoggedWithQuestionMark) {
  UtcZone utc;
  EngineHarness h;
  h.feed(ring(0), kT1);
  h.feed(callEnd(0), kT1 + 30);
  EXPECT_EQ(h.port(0).statusText(), " Port:  1       Un-Answered");
  ASSERT_EQ(h.log().size(), 1u);
  const CallRecord r = h.log()[0];
  EXPECT_EQ(r.callType, 6);
  EXPECT_EQ(r.firstAudioSec, 0);
  EXPECT_EQ(r.durationSec, 30);
  EXPECT_EQ(text(r), "?" + std::string(21, ' '));
  EXPECT_TRUE(h.list().ends_with("</td><td>Un-Answered</td></tr>\r\n"));
  EXPECT_EQ(h.engine->capacity().loggedBlocks, 0);
  // Only a caller number: callType 2.
  h.feed(callerId(2, {0x98}), kT1);
  h.feed(callEnd(2, {0x98}), kT1 + 1);
  EXPECT_EQ(h.log().back().callType, 2);
  EXPECT_EQ(text(h.log().back()).substr(0, 3), "98 ");
}

TEST(CallStateMachine, RepeatedEndKeepsTheAnsweredLineAndLogsNothing) {
  EngineHarness h;
  h.feed(answering(0) + audio(0, 1) + callEnd(0, {0x11}), kT1);
  EXPECT_EQ(h.port(0).statusText(), " Port:  1         Answered ");
  h.feed(callEnd(0, {0x11}), kT1 + 1);
  EXPECT_EQ(h.port(0).statusText(), " Port:  1         Answered ");
  EXPECT_EQ(h.log().size(), 1u);
  h.feed(calloutEnd(0, {}) + varEnd(0), kT1 + 2);  // ends on an idle port change only the line
  EXPECT_EQ(h.port(0).statusText(), " Port:  1  VAR     Finished");
  EXPECT_EQ(h.log().size(), 1u);
}

TEST(CallStateMachine, DigitsAppendToTheDetailLine) {
  EngineHarness h;
  h.feed(dialOut(0), kT1);
  for (std::uint8_t d : {1, 10, 0, 12, 9}) h.feed(digit(0, d), kT1);
  EXPECT_EQ(h.port(0).detailText, "Dialed:\n10129");
}

TEST(CallStateMachine, DigitTablesForCallerAndDialledNumbers) {
  EngineHarness h;
  h.feed(callerId(0, {0x0A, 0xBC, 0xDE, 0xF0}), kT1);
  EXPECT_EQ(text(h.port(0).record).substr(0, 8), " 0;<OP? ");
  h.feed(dialOut(1) + audio(1, 0), kT1);
  h.feed(calloutEnd(1, {0x0A, 0xBC, 0xDE, 0xF1, 0x23, 0x45, 0x67, 0x89, 0x11, 0x11, 0x12}),
         kT1 + 60);
  ASSERT_EQ(h.log().size(), 1u);
  EXPECT_EQ(text(h.log()[0]), " 0;<=>?123456789111112");
}

struct ShortCallCase {
  const char* name;
  bool var;
  int durationSec;
  Bytes digits;
  bool keepShortCalls;
  bool kept;
};

TEST(CallStateMachine, ShortCallRule) {
  const Bytes three = {0x12, 0x30};
  const Bytes two = {0x12, 0x00};
  const std::vector<ShortCallCase> cases = {
      {"outgoing 7 s", false, 7, three, false, false},
      {"outgoing 8 s", false, 8, three, false, true},
      {"outgoing two digits", false, 60, two, false, false},
      {"outgoing 7 s kept", false, 7, three, true, true},
      {"outgoing two digits kept", false, 60, two, true, true},
      {"VAR 19 s", true, 19, {}, false, false},
      {"VAR 20 s", true, 20, {}, false, true},
      {"VAR 19 s kept", true, 19, {}, true, true},
      // A call of over 18 hours whose duration, taken to 16 bits, looks short.
      {"outgoing 65536 + 7 s", false, 65536 + 7, three, false, true},
      {"VAR 65536 + 19 s", true, 65536 + 19, {}, false, true},
  };
  for (const ShortCallCase& c : cases) {
    EngineHarness h(kHtmlListOn | kLvFormat | (c.keepShortCalls ? kKeepShortCalls : 0));
    h.engine->setVarOffDelay(0, 12);
    h.feed((c.var ? varStart(2) : dialOut(2)) + audio(2, 5), kT1);
    h.feed(c.var ? varEnd(2, c.digits) : calloutEnd(2, c.digits), kT1 + c.durationSec);
    EXPECT_EQ(h.exists("w499602D2p2.LV3"), c.kept) << c.name;
    EXPECT_EQ(h.log().size(), c.kept ? 1u : 0u) << c.name;
    EXPECT_EQ(h.exists("ZEruTestNew.htm"), c.kept) << c.name;
    EXPECT_EQ(h.engine->capacity().loggedItems, c.kept ? 1 : 0) << c.name;
    if (c.kept) {
      EXPECT_NE(h.list().find(c.var ? "<p align=center>VAR</td>" : "<p align=center>Out</td>"),
                std::string::npos);
    }
  }
}

TEST(CallStateMachine, OutgoingCallWithoutAudioLeavesNoTrace) {
  EngineHarness h;
  h.feed(dialOut(0) + digit(0, 1), kT1);
  h.feed(calloutEnd(0, {0x12, 0x34}), kT1 + 100);
  EXPECT_EQ(h.port(0).statusText(), " Port:  1  Callout Finished");
  EXPECT_FALSE(h.exists(kCallLogName));
  EXPECT_FALSE(h.exists("ZEruTestNew.htm"));
}

TEST(CallStateMachine, FullBufferGoesToTheFileInOneMegabyteWrite) {
  EngineHarness h;
  Bytes blocks;
  for (int i = 0; i < 2047; ++i) blocks = blocks + audio(0, std::uint8_t(i));
  h.feed(blocks, kT1);
  EXPECT_EQ(h.file("w499602D2p0.LV3").size(), 0u);
  h.feed(audio(0, 0xEE), kT1 + 60);
  EXPECT_EQ(h.file("w499602D2p0.LV3").size(), kAudioBufferSize);
  EXPECT_EQ(h.port(0).audioFill, 0u);
  h.feed(callEnd(0), kT1 + 70);
  const std::string data = h.file("w499602D2p0.LV3");
  ASSERT_EQ(data.size(), kAudioBufferSize) << "nothing more at the end";
  EXPECT_EQ(std::uint8_t(data.back()), 0xEE);
  EXPECT_EQ(h.engine->capacity().loggedBlocks, 2048);
  EXPECT_EQ(h.view.capacity.spaceText, "Logged Space: 1 / 500 (MB)");
}

TEST(CallStateMachine, SmallerBufferGoesToTheFileInWholeBlocksEachTimeItFills) {
  // A size that is not whole blocks is taken down to whole blocks, and at least one.
  const struct {
    std::uint32_t asked;
    std::uint32_t blocks;
  } cases[] = {{3 * 512, 3}, {3 * 512 + 511, 3}, {100, 1}, {0, 1}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.asked);
    EngineHarness h(kHtmlListOn | kLvFormat, EngineHarness::everyTick(c.asked));
    for (std::uint32_t i = 1; i <= 2 * c.blocks + 1; ++i) {
      h.feed(audio(0, std::uint8_t(i)), kT1);
      EXPECT_EQ(h.file("w499602D2p0.LV3").size(), i / c.blocks * c.blocks * 512);
    }
    h.feed(callEnd(0), kT1 + 70);
    const std::string data = h.file("w499602D2p0.LV3");
    ASSERT_EQ(data.size(), (2 * c.blocks + 1) * 512);
    for (std::uint32_t i = 0; i < 2 * c.blocks + 1; ++i) {
      EXPECT_EQ(std::uint8_t(data[i * 512]), i + 1) << "block " << i;
    }
  }
}

TEST(CallStateMachine, DurationWrapsAt16BitsAndNeverGoesNegative) {
  EngineHarness h;
  h.feed(ring(0), kT1);
  h.feed(callEnd(0), kT1 + 65536 + 5);
  EXPECT_EQ(h.log().back().durationSec, 5);
  // A clock stepped back before the end: duration 0, not a wrapped 65535.
  h.feed(ring(0), kT1);
  h.feed(callEnd(0), kT1 - 1);
  EXPECT_EQ(h.log().back().durationSec, 0);
}

TEST(CallStateMachine, SameSecondCallsOnOnePortGetTheirOwnFiles) {
  EngineHarness h;
  h.feed(audio(0, 0xAA) + callEnd(0) + audio(0, 0xBB) + callEnd(0), kT1);
  EXPECT_EQ(h.file("w499602D2p0.LV3"), std::string(512, '\xAA'));
  EXPECT_EQ(h.file("w499602D3p0.LV3"), std::string(512, '\xBB'));
  const auto log = h.log();
  ASSERT_EQ(log.size(), 2u);
  EXPECT_EQ(log[1].startTime, kT1 + 1) << "the moved start is logged";
  EXPECT_EQ(log[1].firstAudioSec, 1) << "a start after now counts as 0, so 1";
  EXPECT_EQ(log[1].durationSec, 0);
  EXPECT_NE(h.list().find("w499602D3p0.LV3"), std::string::npos);
  // Any entry of that name, even a folder, is passed over.
  std::filesystem::create_directory(h.folder / "w499602E0p5.LV3");
  h.feed(audio(1, 2), kT1 + 14, 1);
  EXPECT_TRUE(h.exists("w499602E1p5.LV3"));
}

TEST(CallStateMachine, LateFirstAudioSecIsTakenTo16Bits) {
  EngineHarness h;
  h.feed(ring(0), kT1);
  h.feed(audio(0, 1), kT1 + 65536);  // 65536 taken to 16 bits is 0, which becomes 1
  EXPECT_EQ(h.port(0).record.firstAudioSec, 1);
  h.feed(ring(1), kT1);
  h.feed(audio(1, 1), kT1 + 70000);
  EXPECT_EQ(h.port(1).record.firstAudioSec, 70000 - 65536);
}

TEST(CallStateMachine, UnitPortsMapToPortIndexes) {
  EngineHarness h;
  h.feed(ring(3), kT1, 3);
  EXPECT_EQ(h.port(15).statusText(), " Port:  16          Ringing");
  h.feed(audio(3, 1) + callEnd(3), kT1, 3);
  EXPECT_TRUE(h.exists("w499602D2pF.LV3"));
  EXPECT_EQ(h.log()[0].portIndex, 15);
}

}  // namespace
}  // namespace parvolin::engine::test
