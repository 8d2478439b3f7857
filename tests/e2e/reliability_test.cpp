// The recorder on emulated units through the mistakes and faults of a real office: a capture
// pointed at the call log, two recorders on one folder, a --folder that is a file, a full disk
// and a read-only folder, a crash, a unit reset or unplugged mid-call, a --config that is no
// settings file, absurd numbers. Each run shows what was recorded, what reached the disk and
// what was reported; nothing recorded is lost beyond the stated bounds without a word.

#include <gtest/gtest.h>

#include <csignal>
#include <sstream>

#include "e2e/headless_recorder.h"
#include "engine/recording_files.h"
#include "engine/stream_capture.h"

namespace parvolin::e2e {
namespace {

using namespace std::chrono_literals;

// Audio blocks of mode-3 audio (512 samples at 8000 a second).
constexpr double kBlocksPerSecond = 8000.0 / 512;

class Reliability : public HeadlessRecorder {
 protected:
  std::vector<std::string> recordingsIn(const std::filesystem::path& folder) const {
    std::vector<std::string> names;
    for (const std::string& name : filesIn(folder)) {
      if (name.size() == 15 && name[0] == 'w') names.push_back(name);
    }
    return names;
  }
  static std::uint64_t blocksOf(const std::filesystem::path& file) {
    std::error_code ec;
    return std::filesystem::file_size(file, ec) / 512;
  }
  // "FILE: N audio blocks (...) not written" lines of the exit summary, by file.
  std::map<std::string, std::uint64_t> unwrittenBlocks() const {
    std::map<std::string, std::uint64_t> blocks;
    std::istringstream lines(errors_);
    for (std::string line; std::getline(lines, line);) {
      const std::size_t name = line.find(": w");
      if (name == std::string::npos || line.find(" not written") == std::string::npos) continue;
      const std::size_t colon = line.find(": ", name + 2);
      if (colon == std::string::npos) continue;
      blocks[line.substr(name + 2, colon - name - 2)] += std::stoull(line.substr(colon + 2));
    }
    return blocks;
  }
  // Runs `script` (sh) as the root of a private mount namespace in work(), with a tmpfs of
  // `size` mounted at work()/disk; the recorder is $P. False when the system offers no such
  // namespace.
  bool inPrivateMounts(const std::string& size, const std::string& script) {
    std::filesystem::create_directories(work() / "disk");
    const std::string all = "mount -t tmpfs -o size=" + size + " tmpfs disk && P='" +
                            kParvolin.string() + "' && " + script;
    ProgramRun shell("/usr/bin/unshare", {"-rm", "sh", "-c", all}, env(), work(),
                     root_ / "sh-out.txt", root_ / "sh-err.txt");
    return shell.wait() == 0;
  }
  static bool privateMountsWork() {
    if (!std::filesystem::exists("/usr/bin/unshare")) return false;
    parvolin::test::TempFolder dir;
    ProgramRun probe("/usr/bin/unshare", {"-rm", "sh", "-c", "mount -t tmpfs tmpfs ."}, {},
                     dir.path(), dir / "out", dir / "err");
    return probe.wait() == 0;
  }
  std::string read(const std::string& name) const { return ProgramRun::readAll(work() / name); }
};

TEST_F(Reliability, CaptureNeverOverwritesAFileUnlessToldAndNeverTheCallLog) {
  const auto scenario = writeScenario("calls.scn",
                                      "unit PV1\n1 1/1 ring\n2 1/1 answer\n2 1/1 talk 3\n"
                                      "6 1/1 callend 5551234\n");
  const std::vector<std::string> base = {"--headless", "--simulate=" + scenario.string(),
                                         "--virtual",  "--config",
                                         "p.conf",     "--folder",
                                         "rec"};
  ASSERT_EQ(run(base), 0) << errors_;
  const std::string log = ProgramRun::readAll(work() / "rec" / "ParvolinLog.ZERU");
  ASSERT_EQ(log.size(), 32u);

  auto with = [&](std::vector<std::string> more) {
    std::vector<std::string> args = base;
    args.insert(args.end(), more.begin(), more.end());
    return args;
  };
  EXPECT_EQ(run(with({"--capture", "rec/ParvolinLog.ZERU", "--force"})), 2);
  EXPECT_NE(errors_.find("own files"), std::string::npos) << errors_;
  std::ofstream(work() / "old.pvcap") << "yesterday's capture";
  EXPECT_EQ(run(with({"--capture", "old.pvcap"})), 2);
  EXPECT_NE(errors_.find("exists (--force replaces it)"), std::string::npos) << errors_;
  EXPECT_EQ(ProgramRun::readAll(work() / "rec" / "ParvolinLog.ZERU"), log) << "nothing recorded";
  EXPECT_EQ(read("old.pvcap"), "yesterday's capture");

  ASSERT_EQ(run(with({"--capture", "old.pvcap", "--force"})), 0) << errors_;
  EXPECT_TRUE(engine::checkCapture(work() / "old.pvcap").ok());
  EXPECT_EQ(callLog(work() / "rec").size(), 2u);
}

TEST_F(Reliability, SecondRecorderOnAFolderNamesTheFirstAndTouchesNothing) {
  const auto scenario = writeScenario("idle.scn", "unit PV1\n");
  ProgramRun first(kParvolin,
                   {"--headless", "--simulate=" + scenario.string(), "--config", "first.conf",
                    "--folder", "rec"},
                   env(), work(), root_ / "first-out.txt", root_ / "first-err.txt");
  ASSERT_TRUE(first.waitForOutput("Logging Location", 20s)) << first.errors();

  EXPECT_EQ(run({"--headless", "--simulate=" + scenario.string(), "--virtual", "--config",
                 "second.conf", "--folder", "rec"}),
            1);
  EXPECT_NE(errors_.find("is in use by process " + std::to_string(first.pid()) + " (parvolin)"),
            std::string::npos)
      << errors_;
  EXPECT_FALSE(std::filesystem::exists(work() / "second.conf")) << "no setting written";

  // A replay into the folder, and a list edit there, are turned away the same way.
  ProgramRun replay(kPvtool, {"replay", "none.pvcap", "--folder", "rec", "--setting", "44"}, env(),
                    work(), root_ / "r-out.txt", root_ / "r-err.txt");
  EXPECT_EQ(replay.wait(), 1);
  std::ofstream(work() / "rec" / "ZEruTestNew.htm") << "";
  ProgramRun list(kPvtool, {"list", "delete-all", "rec/ZEruTestNew.htm"}, env(), work(),
                  root_ / "l-out.txt", root_ / "l-err.txt");
  EXPECT_EQ(list.wait(), 1);
  EXPECT_NE(list.errors().find("is in use by process"), std::string::npos) << list.errors();

  first.signal(SIGTERM);
  EXPECT_EQ(first.wait(), 0) << first.errors();
}

TEST_F(Reliability, FolderThatIsAFileEndsTheRunBeforeAnythingIsWritten) {
  const auto scenario = writeScenario("one.scn", "unit PV1\n1 1/1 ring\n3 1/1 callend 1\n");
  std::ofstream(work() / "notes.txt") << "not a folder";
  EXPECT_EQ(run({"--headless", "--simulate=" + scenario.string(), "--virtual", "--config", "p.conf",
                 "--folder", "notes.txt"}),
            1);
  EXPECT_NE(errors_.find("Cannot record into " + (work() / "notes.txt").string() +
                         ": it is not a folder"),
            std::string::npos)
      << errors_;
  EXPECT_EQ(filesIn(work()), (std::set<std::string>{"notes.txt", "one.scn"}));
}

TEST_F(Reliability, FullDiskKeepsWhatFitsAndNamesEveryBlockItCouldNotWrite) {
  if (!privateMountsWork()) GTEST_SKIP() << "no private mount namespace for a small tmpfs";
  writeScenario("long.scn",
                "unit PV1\n"
                "1 1/1 answer\n1 1/1 talk 30\n32 1/1 callend 5551111\n"
                "1 1/2 answer\n1 1/2 talk 20\n22 1/2 callend 5552222\n"
                "34 1/3 ring\n36 1/3 callend 5553333\n");
  // 320 KiB above the 4 MiB the recorder keeps free for its call log and list.
  ASSERT_TRUE(inPrivateMounts(
      "4416k",
      "\"$P\" --headless --simulate=long.scn --virtual --config p.conf --folder disk/rec "
      ">out.txt 2>err.txt; echo $? >status; cp -r disk/rec rec"))
      << read("sh-err.txt");
  errors_ = read("err.txt");
  EXPECT_EQ(read("status"), "4\n") << errors_;
  EXPECT_NE(errors_.find("Not everything recorded reached the disk:"), std::string::npos);

  // Every block recorded is in its file or named as not written.
  const auto unwritten = unwrittenBlocks();
  const auto recordings = recordingsIn(work() / "rec");
  ASSERT_EQ(recordings.size(), 2u);
  const std::map<char, double> seconds = {{'0', 30}, {'1', 20}};
  for (const std::string& name : recordings) {
    const auto file = work() / "rec" / name;
    EXPECT_EQ(std::filesystem::file_size(file) % 512, 0u) << name;
    const auto it = unwritten.find(name);
    const double total = double(blocksOf(file) + (it == unwritten.end() ? 0 : it->second));
    EXPECT_NEAR(total, seconds.at(name[10]) * kBlocksPerSecond, 1.5) << name << "\n" << errors_;
  }
  // Audio never took the room of the call log and the list: every call is in both.
  EXPECT_EQ(callLog(work() / "rec").size(), 3u) << errors_;
  EXPECT_EQ(count(read("rec/ZEruTestNew.htm"), "<tr><td>"), 3u);
}

TEST_F(Reliability, AudioAndRowsWaitForAFullDiskAndAreWrittenWhenThereIsRoomAgain) {
  if (!privateMountsWork()) GTEST_SKIP() << "no private mount namespace for a small tmpfs";
  writeScenario("call.scn", "unit PV1\n0.5 1/1 answer\n0.5 1/1 talk 2\n3 1/1 callend 5551234\n");
  // The disk is full when the call runs and ends; room is made once the port shows the end.
  const std::string script =
      "mkdir disk/rec && head -c 8M /dev/zero >disk/fill 2>/dev/null; "
      "\"$P\" --headless --simulate=call.scn --config p.conf --folder disk/rec "
      ">out.txt 2>err.txt & pid=$!; "
      "for i in $(seq 300); do grep -q Answered out.txt && break; sleep 0.1; done; "
      "rm disk/fill; "
      "for i in $(seq 300); do [ -s disk/rec/ParvolinLog.ZERU ] && "
      "grep -q '<tr><td>' disk/rec/ZEruTestNew.htm 2>/dev/null && break; sleep 0.1; done; "
      "kill -TERM $pid; wait $pid; echo $? >status; cp -r disk/rec rec";
  // 256 KiB above the 4 MiB the recorder keeps free for its call log and list.
  ASSERT_TRUE(inPrivateMounts("4352k", script)) << read("sh-err.txt");
  errors_ = read("err.txt");
  EXPECT_EQ(read("status"), "0\n") << errors_;
  EXPECT_NE(errors_.find("No space left on device"), std::string::npos) << errors_;
  const auto recordings = recordingsIn(work() / "rec");
  ASSERT_EQ(recordings.size(), 1u);
  EXPECT_NEAR(double(blocksOf(work() / "rec" / recordings[0])), 2 * kBlocksPerSecond, 1.5);
  EXPECT_EQ(callLog(work() / "rec").size(), 1u);
  EXPECT_NE(read("rec/ZEruTestNew.htm").find(recordings[0]), std::string::npos);
}

TEST_F(Reliability, ReadOnlyFolderEndsWithTheUnwrittenCallsNamed) {
  if (!privateMountsWork()) GTEST_SKIP() << "no private mount namespace for a read-only folder";
  writeScenario("rings.scn",
                "unit PV1\n1 1/1 ring\n3 1/1 callend 1\n5 1/2 ring\n7 1/2 callend 2\n");
  ASSERT_TRUE(inPrivateMounts(
      "64k",
      "mkdir disk/rec && mount -o remount,ro disk && "
      "\"$P\" --headless --simulate=rings.scn --virtual --config p.conf --folder disk/rec "
      ">out.txt 2>err.txt; echo $? >status"))
      << read("sh-err.txt");
  errors_ = read("err.txt");
  EXPECT_EQ(read("status"), "4\n") << errors_;
  EXPECT_NE(errors_.find("ParvolinLog.ZERU: 2 call records not written"), std::string::npos)
      << errors_;
  EXPECT_NE(errors_.find("ZEruTestNew.htm: 2 rows not written"), std::string::npos);
  // The figures never counted what is not on disk.
  EXPECT_EQ(read("out.txt").find("Logged Items: 1"), std::string::npos) << read("out.txt");
}

TEST_F(Reliability, CrashLosesAtMostAboutASecondOfEachCall) {
  const auto scenario = writeScenario("talk.scn",
                                      "unit PV1\n0.2 1/1 answer\n0.2 1/1 talk 120\n"
                                      "0.2 1/2 answer\n0.2 1/2 talk 120\n");
  const auto capture = work() / "run.pvcap";
  auto recorder = start({"--headless", "--simulate=" + scenario.string(), "--config", "p.conf",
                         "--folder", "rec", "--capture", capture.string()});
  // About three seconds of both calls read.
  constexpr std::uint64_t kRecord = 2 + 512;
  ASSERT_TRUE(waitUntil(
      [&] { return engine::checkCapture(capture).summary.streamBytes >= 2 * 48 * kRecord; }, 30s))
      << recorder->errors();
  recorder->signal(SIGKILL);
  EXPECT_EQ(recorder->wait(), -1);

  // What the capture holds is what the recorder had read when it died.
  const double readBlocks = double(engine::checkCapture(capture).summary.streamBytes) / kRecord / 2;
  const auto recordings = recordingsIn(work() / "rec");
  ASSERT_EQ(recordings.size(), 2u);
  for (const std::string& name : recordings) {
    const double written = double(blocksOf(work() / "rec" / name));
    EXPECT_GT(written, 0) << name;
    EXPECT_GE(written, readBlocks - 1.3 * kBlocksPerSecond) << name;
  }
}

TEST_F(Reliability, CallCutOffByAResetOrAnUnplugIsEndedReportedAndItsPortFreed) {
  const auto cycle = writeScenario("cycle.scn",
                                   "unit PV1\n1 1/1 answer\n1 1/1 talk 60\n5 1 powercycle\n"
                                   "70 1/1 answer\n70 1/1 talk 5\n76 1/1 callend 5552222\n");
  ASSERT_EQ(run({"--headless", "--simulate=" + cycle.string(), "--virtual", "--config", "p.conf",
                 "--folder", "cycle"}),
            0)
      << errors_;
  EXPECT_NE(errors_.find("Unit1: had stopped streaming (it was reset)"), std::string::npos)
      << errors_;
  const auto cut = recordingsIn(work() / "cycle");
  ASSERT_EQ(cut.size(), 2u);
  EXPECT_NE(errors_.find("Port 1: call cut off: Unit1 was reset; its recording " + cut[0]),
            std::string::npos)
      << errors_;
  EXPECT_NEAR(double(blocksOf(work() / "cycle" / cut[0])), 4 * kBlocksPerSecond, 1.5);
  // The next call on the port is recorded and logged.
  const auto log = callLog(work() / "cycle");
  ASSERT_EQ(log.size(), 1u);
  EXPECT_EQ(engine::recordingFileName(log[0].startTime, 0, 3, false), cut[1]);
  EXPECT_NEAR(double(blocksOf(work() / "cycle" / cut[1])), 5 * kBlocksPerSecond, 1.5);

  const auto gone = writeScenario("gone.scn",
                                  "unit PV1\n1 1/1 answer\n1 1/1 talk 60\n5 1 unplug\n"
                                  "70 1/2 ring\n");
  ASSERT_EQ(run({"--headless", "--simulate=" + gone.string(), "--virtual", "--config", "p.conf",
                 "--folder", "gone"}),
            0)
      << errors_;
  const auto kept = recordingsIn(work() / "gone");
  ASSERT_EQ(kept.size(), 1u);
  EXPECT_NE(
      errors_.find("Port 1: call cut off: Unit1 has been lost for 30 s; its recording " + kept[0]),
      std::string::npos)
      << errors_;
  EXPECT_NEAR(double(blocksOf(work() / "gone" / kept[0])), 4 * kBlocksPerSecond, 1.5);
  EXPECT_NE(output_.rfind(" Port:  1            NONE"), std::string::npos);
  EXPECT_GT(output_.rfind(" Port:  1            NONE"),
            output_.rfind(" Port:  1          Recording"));
}

TEST_F(Reliability, ConfigThatIsNoWritableSettingsFileIsRefusedUntouched) {
  const auto scenario = writeScenario("idle.scn", "unit PV1\n");
  std::ofstream(work() / "letter.txt") << "Dear all,\nthe meeting is at ten.\n";
  std::filesystem::create_directory(work() / "adir");
  std::ofstream(work() / "afile") << "plain";
  for (const char* config : {"letter.txt", "adir", "afile/p.conf"}) {
    EXPECT_EQ(run({"--headless", "--simulate=" + scenario.string(), "--virtual", "--config", config,
                   "--folder", "rec"}),
              2)
        << config;
    EXPECT_NE(errors_.find("--config"), std::string::npos) << errors_;
  }
  EXPECT_EQ(read("letter.txt"), "Dear all,\nthe meeting is at ten.\n");
  EXPECT_FALSE(std::filesystem::exists(work() / "rec")) << "nothing ran";
}

TEST_F(Reliability, AbsurdNumbersAreRefusedWithTheirRange) {
  for (const char* seconds : {"1e17", "inf"}) {
    ProgramRun units(kPvtool, {"units", "--simulate", "--seconds", seconds}, env(), work(),
                     root_ / "u-out.txt", root_ / "u-err.txt");
    EXPECT_EQ(units.wait(), 2) << seconds;
    EXPECT_NE(units.errors().find("--seconds must be a number from 0.001 to 4000000"),
              std::string::npos)
        << units.errors();
  }
}

}  // namespace
}  // namespace parvolin::e2e
