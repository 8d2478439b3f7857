#include <gtest/gtest.h>

#include "engine_harness.h"

namespace parvolin::engine::test {
namespace {

TEST(EngineFailures, AudioThatCannotBeWrittenIsReportedOnceAndOtherPortsGoOn) {
  EngineHarness h;
  std::string fileName;
  {
    FileSizeLimit limit(600 * 1024);
    Bytes megabyte;
    for (int i = 0; i < 2048; ++i) megabyte = megabyte + audio(0, 1);
    h.feed(megabyte, kT1);  // the first 1 MB write fails part-way
    h.feed(megabyte, kT1 + 70);
    h.feed(answering(1) + audio(1, 2) + callEnd(1), kT1 + 80);
    h.feed(audio(0, 3) + callEnd(0), kT1 + 140);
  }
  EXPECT_EQ(h.diagnostics.lines.size(), 1u);
  EXPECT_NE(h.diagnostics.lines[0].find("w499602D2p0.LV3"), std::string::npos);
  // Cut back to whole blocks: only the last write, after the failures, is in the file.
  EXPECT_EQ(h.file("w499602D2p0.LV3"), std::string(512, '\x03'));
  EXPECT_EQ(h.file("w49960322p1.LV3").size(), 512u);
  EXPECT_EQ(h.log().size(), 2u);
}

TEST(EngineFailures, AudioFileThatCannotBeCreatedDropsTheAudioButLogsIncomingCalls) {
  EngineHarness h;
  // The folder is gone: no recording can be made, and neither can the log.
  std::filesystem::remove_all(h.folder.path());
  h.feed(ring(0) + audio(0, 1) + audio(0, 1) + callEnd(0), kT1);
  h.feed(dialOut(1) + audio(1, 1), kT1);
  h.feed(calloutEnd(1, {0x12, 0x34}), kT1 + 60);
  EXPECT_EQ(h.engine->deferredLogRecords(), 1u) << "the incoming call waits for the log";
  EXPECT_EQ(h.engine->deferredRows(), 1u);
  std::filesystem::create_directories(h.folder.path());
  h.engine->onPollTick();
  ASSERT_EQ(h.log().size(), 1u);
  EXPECT_EQ(h.log()[0].callType, 7);
  EXPECT_EQ(h.log()[0].firstAudioSec, 1);
  // One report per file and kind: two recordings, the log, the list.
  EXPECT_EQ(h.diagnostics.lines.size(), 4u);
}

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
