#include <gtest/gtest.h>

#include "engine_harness.h"

namespace parvolin::engine::test {
namespace {

TEST(EngineFailures, WavConversionFailureKeepsTheRecordingAsRecorded) {
  EngineHarness h(kHtmlListOn | kWavFormat);
  h.feed(audio(0, 0x80) + callEnd(0), kT1);
  h.feed(audio(0, 0x80) + callEnd(0), kT1 + 10);
  // Whatever the conversion did, the file is there under its WAV name, and the row links to it.
  EXPECT_TRUE(h.exists("w499602D2p0.WAV"));
  EXPECT_NE(h.list().find("HREF=\"w499602D2p0.WAV\""), std::string::npos);
  // WavFormat turned off in mid-call: the call keeps the name and form it started with.
  h.feed(audio(1, 0x80), kT1 + 20);
  h.settings.parvolinSetting = kHtmlListOn | kLvFormat;
  h.feed(callEnd(1), kT1 + 30);
  EXPECT_TRUE(h.exists("w499602E6p1.WAV"));
  EXPECT_NE(h.list().find("HREF=\"w499602E6p1.WAV\""), std::string::npos);
}

}  // namespace
}  // namespace parvolin::engine::test

namespace parvolin::engine::test {
namespace {

// Noise with records mixed in, on all four units: whatever arrives, recordings stay whole
// blocks, the log whole records, and the list starts with its header.
TEST(EngineFailures, ArbitraryStreamsLeaveEveryFileWellFormed) {
  EngineHarness h(kHtmlListOn | kLvFormat);
  std::uint32_t seed = 12345;
  auto next = [&seed] {
    seed = seed * 1103515245u + 12345u;
    return std::uint8_t(seed >> 16);
  };
  for (int read = 0; read < 1200; ++read) {
    Bytes bytes;
    const int kind = next() % 8;
    if (kind < 5) {
      const std::uint8_t code = std::uint8_t(1 + next() % 11);
      bytes = rec(next() % 4, code, Bytes(512, next()));
      for (std::size_t i = 2; i < bytes.size(); ++i) bytes[i] = next();
    } else {
      bytes.resize(1 + next() % 64);
      for (auto& b : bytes) b = next() % 6;  // mostly port bytes 0-3, sometimes 4 or 5
    }
    h.feed(bytes, kT1 + read / 10, read % 4);
  }
  h.engine->finishRun();
  for (const auto& [name, data] : folderContents(h.folder.path())) {
    if (name.find(".LV") != std::string::npos) {
      EXPECT_EQ(data.size() % 512, 0u) << name;
    } else if (name == kCallLogName) {
      EXPECT_EQ(data.size() % 32, 0u);
    } else {
      EXPECT_EQ(name, "ZEruTestNew.htm");
      EXPECT_EQ(data.substr(0, kHtmlHeaderSize), std::string(kHtmlHeader));
    }
  }
}

}  // namespace
}  // namespace parvolin::engine::test
