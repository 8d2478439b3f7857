#include <gtest/gtest.h>

#include "base/little_endian.h"
#include "engine/capture_replay.h"
#include "engine/stream_capture.h"
#include "engine_harness.h"
#include "support/collecting_diagnostics.h"

namespace parvolin::engine::test {
namespace {

CaptureHeader oneUnitHeader(std::uint32_t startEpoch) {
  CaptureHeader header;
  header.startEpoch = startEpoch;
  header.units[0] = {kUnitListed | kUnitIdle | kUnitSetUp, 3, 12};
  return header;
}

Bytes captureRecord(std::uint32_t timeMs, std::uint8_t unit, const Bytes& bytes) {
  Bytes r(8, 0);
  base::storeLe32(r.data(), timeMs);
  r[4] = unit;
  base::storeLe16(r.data() + 6, std::uint16_t(bytes.size()));
  return r + bytes;
}

Bytes captureFile(const CaptureHeader& header, const Bytes& records) {
  const auto head = encodeCaptureHeader(header);
  return Bytes(head.begin(), head.end()) + records;
}

// A live run on the virtual clock that captures its reads: three calls on unit 1.
struct CapturedRun {
  CapturedRun() {
    h.streams.clock = &h.clock;
    h.streams.readCostMs = 2;
    std::error_code error;
    writer = CaptureWriter::create(path(), oneUnitHeader(kT1), h.diagnostics, error);
    h.engine->setCapture(writer.get());
    h.engine->setVarOffDelay(0, 12);
    Bytes stream = ring(1) + callerId(1, {0x55, 0x51}) + answering(1);
    for (int i = 0; i < 40; ++i) stream = stream + audio(1, std::uint8_t(i)) + audio(2, 7);
    stream = stream + callEnd(1, {0x55, 0x51}) + dialOut(3) + digit(3, 4) + audio(3, 9);
    for (std::size_t at = 0; at < stream.size(); at += 700) {
      h.streams.chunks[0].emplace_back(stream.begin() + long(at),
                                       stream.begin() + long(std::min(stream.size(), at + 700)));
    }
    for (int tick = 0; tick < 200; ++tick) {
      h.clock.advanceMs(65);
      h.engine->onPollTick();
    }
    h.engine->finishRun();  // port 3 (dial out) and port 2 (audio only) are still in progress
    h.engine->setCapture(nullptr);
    writer.reset();
  }
  std::filesystem::path path() const { return captureFolder / "run.pvcap"; }

  TempFolder captureFolder;  // beside the run's folder, whose files the tests compare
  EngineHarness h;
  std::unique_ptr<CaptureWriter> writer;
};

TEST(StreamCapture, ReplayRebuildsTheLiveRunsFolderByteForByte) {
  UtcZone utc;
  CapturedRun run;
  const CaptureCheck check = checkCapture(run.path());
  ASSERT_TRUE(check.ok());
  EXPECT_EQ(check.summary.header, oneUnitHeader(kT1));
  EXPECT_GT(check.summary.records, 5u);

  TempFolder replayed;
  // The unit's set-up turns the list on.
  const ReplayOutcome outcome = replayInto(run.path(), replayed / "folder", kLvFormat);
  ASSERT_EQ(outcome.result, ReplayResult::kReplayed);
  EXPECT_EQ(outcome.records, check.summary.records);
  const auto live = folderContents(run.h.folder.path());
  EXPECT_EQ(folderContents(replayed / "folder"), live);
  EXPECT_EQ(live.size(), 5u);  // 3 recordings, the log, the list
}

TEST(StreamCapture, RunEndWritesTheAudioOfCallsInProgressWithoutLoggingThem) {
  CapturedRun run;
  EXPECT_EQ(run.h.log().size(), 1u);
  const auto files = folderContents(run.h.folder.path());
  std::size_t port2Blocks = 0;
  for (const auto& [name, data] : files) {
    if (name.ends_with("p2.LV3")) port2Blocks = data.size() / 512;
  }
  EXPECT_EQ(port2Blocks, 40u);
}

TEST(StreamCapture, DestroyingTheEngineAlsoWritesBufferedAudio) {
  EngineHarness h;
  h.feed(audio(0, 0x5A) + audio(0, 0x5B), kT1);
  h.engine.reset();
  EXPECT_EQ(h.file("w499602D2p0.LV3").size(), 1024u);
  EXPECT_FALSE(h.exists(kCallLogName));
}

TEST(StreamCapture, WriterKeepsTimeFromGoingBack) {
  TempFolder folder;
  parvolin::test::CollectingDiagnostics diagnostics;
  std::error_code error;
  auto writer = CaptureWriter::create(folder / "c.pvcap", oneUnitHeader(1000), diagnostics, error);
  ASSERT_TRUE(writer);
  const Bytes bytes = ring(0);
  writer->append(0, bytes, 1'000'500);
  writer->append(0, bytes, 1'002'750);
  writer->append(0, bytes, 1'001'000);  // the wall clock stepped back
  writer->flush();
  const std::string file = readFile(folder / "c.pvcap");
  ASSERT_EQ(file.size(), 32u + 3 * 10);
  const auto* p = reinterpret_cast<const std::uint8_t*>(file.data());
  EXPECT_EQ(base::loadLe32(p + 32), 500u);
  EXPECT_EQ(base::loadLe32(p + 42), 2750u);
  EXPECT_EQ(base::loadLe32(p + 52), 2750u);
}

TEST(StreamCapture, FailedCaptureWriteStopsTheCaptureNotTheRecording) {
  EngineHarness h;
  TempFolder captureFolder;
  std::error_code error;
  auto writer =
      CaptureWriter::create(captureFolder / "full.pvcap", oneUnitHeader(kT1), h.diagnostics, error);
  ASSERT_TRUE(writer);
  FileSizeLimit limit(100);  // the header and one tick's record fit, the second tick's does not
  h.engine->setCapture(writer.get());
  h.streams.queue(0, ring(0) + callEnd(0));
  h.engine->onPollTick();
  h.streams.queue(0, ring(1) + callEnd(1));
  h.engine->onPollTick();
  EXPECT_FALSE(writer->isActive());
  EXPECT_EQ(std::count_if(h.diagnostics.lines.begin(), h.diagnostics.lines.end(),
                          [](const std::string& l) {
                            return l.ends_with("capture stopped: File too large");
                          }),
            1);
  EXPECT_EQ(h.log().size(), 2u);
  h.engine->setCapture(nullptr);
}

TEST(StreamCapture, BrokenCapturesAreRefusedWithWhereAndWhy) {
  const Bytes good = captureRecord(10, 0, ring(0));
  struct Case {
    const char* name;
    Bytes file;
    std::string message;
  };
  CaptureHeader header = oneUnitHeader(kT1);
  auto withHeaderByte = [&](std::size_t at, std::uint8_t value) {
    Bytes f = captureFile(header, good);
    f[at] = value;
    return f;
  };
  const std::vector<Case> cases = {
      {"magic", withHeaderByte(7, '2'), "byte 0: not a stream capture: no PVCAP001 header"},
      {"empty", Bytes{}, "byte 0: not a stream capture: no PVCAP001 header"},
      {"short header", Bytes{'P', 'V', 'C'}, "byte 3: header cut short"},
      {"reserved", withHeaderByte(13, 1), "byte 13: reserved header byte is not 0"},
      {"flags", withHeaderByte(20, 0x08), "byte 20: unit 1 has unknown flag bits"},
      {"entry reserved", withHeaderByte(19, 1), "byte 19: reserved byte of unit 0 is not 0"},
      {"unit", captureFile(header, good + captureRecord(11, 4, ring(0))),
       "byte 46: unit 4 is above 3"},
      {"record reserved",
       captureFile(
           header, good +
                       [] {
                         Bytes r = captureRecord(11, 0, ring(0));
                         r[5] = 1;
                         return r;
                       }()),
       "byte 47: reserved record byte is not 0"},
      {"not listed", captureFile(header, captureRecord(0, 2, ring(0))),
       "byte 36: record for unit 2, which is not listed"},
      {"length 0", captureFile(header, good + captureRecord(11, 0, {})),
       "byte 48: length 0 is not 1 to 2048"},
      {"length 2049", captureFile(header, good + captureRecord(11, 0, Bytes(2049, 0))),
       "byte 48: length 2049 is not 1 to 2048"},
      {"time", captureFile(header, good + captureRecord(9, 0, ring(0))),
       "byte 42: timeMs 9 is before the previous record's"},
  };
  TempFolder folder;
  for (const Case& c : cases) {
    const auto path = folder / "bad.pvcap";
    writeBytes(path, c.file);
    const ReplayOutcome outcome = replayInto(path, folder / "out", 0);
    EXPECT_EQ(outcome.result, ReplayResult::kRefused) << c.name;
    ASSERT_EQ(outcome.messages.size(), 1u) << c.name;
    EXPECT_EQ(outcome.messages[0], path.string() + ": bad capture at byte " + c.message.substr(5))
        << c.name;
    EXPECT_FALSE(std::filesystem::exists(folder / "out")) << "nothing replayed: " << c.name;
  }
}

TEST(StreamCapture, LastRecordCutShortIsReplayedUpToTheLastWholeRecord) {
  TempFolder folder;
  const Bytes whole = captureRecord(0, 0, ring(0) + callEnd(0));
  for (std::size_t cut : {3u, 20u}) {  // inside the record's head, inside its bytes
    Bytes file =
        captureFile(oneUnitHeader(kT1), whole + captureRecord(5000, 0, ring(1) + callEnd(1)));
    file.resize(file.size() - (whole.size() - cut));
    writeBytes(folder / "cut.pvcap", file);
    std::filesystem::remove_all(folder / "out");
    const ReplayOutcome outcome = replayInto(folder / "cut.pvcap", folder / "out", 0);
    EXPECT_EQ(outcome.result, ReplayResult::kReplayed);
    EXPECT_EQ(outcome.records, 1u);
    ASSERT_EQ(outcome.messages.size(), 1u);
    EXPECT_NE(outcome.messages[0].find("cut short at byte " + std::to_string(32 + whole.size())),
              std::string::npos);
    EXPECT_EQ(readFile(folder / "out" / kCallLogName).size(), 32u);
  }
}

TEST(StreamCapture, ReplaySetsUpUnitsAsTheCaptureSays) {
  CaptureHeader header = oneUnitHeader(kT1);
  header.units[1] = {kUnitListed | kUnitSetUp, 2, 4};
  RecorderSettings settings;
  settings.parvolinSetting = kWavFormat;
  applyCapturedSetUp(header, settings);
  EXPECT_EQ(settings.parvolinSetting, kHtmlListOn) << "mode 2 clears WavFormat, list on";
}

}  // namespace
}  // namespace parvolin::engine::test
