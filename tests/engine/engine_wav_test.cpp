#include <gtest/gtest.h>

#include "engine_harness.h"

namespace parvolin::engine::test {
namespace {

// `blocks` audio blocks on port 0 whose fill alternates between the log codes `up` and `down`
// block by block (a square wave of mean 0), then the end of the call.
Bytes squareCall(std::uint8_t up, std::uint8_t down, int blocks) {
  Bytes call;
  for (int b = 0; b < blocks; ++b) call = call + audio(0, b % 2 == 0 ? up : down);
  return call + callEnd(0);
}

// The 8-bit samples of a converted call, without the 44-byte header.
std::string samplesOf(const EngineHarness& h, const std::string& name) {
  const std::string wav = h.file(name);
  return wav.size() < 44 ? std::string() : wav.substr(44);
}

TEST(EngineWav, BothDavaBitsMeanLevelOne) {
  // Peak 640 (codes 0x0A, 0x8A): level 1 leaves such blocks alone, level 2 amplifies them.
  EngineHarness h(kHtmlListOn | kWavFormat | kDavaLevel1 | kDavaLevel2);
  h.feed(squareCall(0x0A, 0x8A, 12), kT1);
  const std::string samples = samplesOf(h, "w499602D2p0.WAV");
  ASSERT_EQ(samples.size(), 12u * 512u);
  EXPECT_EQ(std::uint8_t(samples[0]), 130);    // 640 >> 8, + 128
  EXPECT_EQ(std::uint8_t(samples[512]), 125);  // -640 >> 8, + 128
  EXPECT_EQ(std::uint8_t(samples[12 * 512 - 1]), 125);

  EngineHarness deep(kHtmlListOn | kWavFormat | kDavaLevel2);
  deep.feed(squareCall(0x0A, 0x8A, 12), kT1);
  const std::string deeper = samplesOf(deep, "w499602D2p0.WAV");
  ASSERT_EQ(deeper.size(), 12u * 512u);
  EXPECT_EQ(std::uint8_t(deeper[0]), 139);        // × (1 + 8) / 2 = 2880
  EXPECT_EQ(std::uint8_t(deeper[4 * 512]), 148);  // × (8 + 8) / 2 = 5120
}

TEST(EngineWav, GainLevelCarriesFromOneCallToTheNext) {
  EngineHarness h(kHtmlListOn | kWavFormat | kDavaLevel1);
  // Peak 1664 (0x1A, 0x9A): level 1 multiplies by (1 + 4) / 2 and leaves the level at 3.
  h.feed(squareCall(0x1A, 0x9A, 12), kT1);
  EXPECT_EQ(std::uint8_t(samplesOf(h, "w499602D2p0.WAV")[0]), 144);  // 4160 >> 8, + 128
  // Peak 3200 (0x29, 0xA9) in the next call: × (3 + 3) / 2, from the level the last call left.
  h.feed(squareCall(0x29, 0xA9, 12), kT1 + 10);
  EXPECT_EQ(std::uint8_t(samplesOf(h, "w499602DCp0.WAV")[0]), 165);  // 9600 >> 8, + 128
}

TEST(EngineWav, DroppedShortCallsStillMoveTheGainLevel) {
  // Each dropped call's audio has peak 1664 (0x1A, 0x9A): converted, it would leave the level at
  // 3, so the next kept call of peak 3200 is multiplied by (3 + 3) / 2, not (1 + 3) / 2. A call
  // of 4096 bytes or fewer gets no adjustment and moves nothing.
  struct Case {
    const char* what;
    Bytes dropped;
    std::uint8_t expected;
  };
  const Bytes loud = squareCall(0x1A, 0x9A, 12);
  const Bytes outgoing =
      dialOut(0) + Bytes(loud.begin(), loud.end() - 34) + calloutEnd(0, {0x12, 0x34, 0x56});
  const Bytes var = varStart(0) + Bytes(loud.begin(), loud.end() - 34) + varEnd(0);
  Bytes tiny = dialOut(0);
  for (int b = 0; b < 8; ++b) tiny = tiny + audio(0, b % 2 == 0 ? 0x1A : 0x9A);
  tiny = tiny + calloutEnd(0, {0x12, 0x34, 0x56});
  const Case cases[] = {
      {"short outgoing call", outgoing, 165},  // 9600 >> 8, + 128
      {"short VAR call", var, 165},
      {"call of 4096 bytes", tiny, 153},  // 6400 >> 8, + 128
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EngineHarness h(kHtmlListOn | kWavFormat | kDavaLevel1);
    h.engine->setVarOffDelay(0, 4);
    h.feed(c.dropped, kT1);
    EXPECT_FALSE(h.exists("w499602D2p0.WAV"));
    EXPECT_TRUE(h.log().empty());
    h.feed(squareCall(0x29, 0xA9, 12), kT1 + 10);
    EXPECT_EQ(std::uint8_t(samplesOf(h, "w499602DCp0.WAV")[0]), c.expected);
  }
}

}  // namespace
}  // namespace parvolin::engine::test
