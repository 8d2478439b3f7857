#include <gtest/gtest.h>

#include <sstream>

#include "../engine/engine_harness.h"
#include "tools/event_text.h"
#include "tools/pvtool_commands.h"
#include "tools/sim_units.h"

namespace parvolin::tools {
namespace {

using engine::test::Bytes;

TEST(EventText, DescribesEveryEventWithWhatItsPayloadSays) {
  struct Case {
    Bytes record;
    int unit;
    const char* text;
  };
  const std::vector<Case> cases = {
      {engine::test::callerId(1, {0x55, 0x51, 0x23, 0x4A}), 0,
       "Unit1 Port 2   Caller ID A  55512340"},
      {engine::test::ring(3), 3, "Unit4 Port 16  Ringing"},
      {engine::test::digit(0, 10), 0, "Unit1 Port 1   Digit        0"},
      {engine::test::calloutEnd(0, {0x12, 0x3D}), 1, "Unit2 Port 5   Callout end  123="},
      {engine::test::callEnd(0), 0, "Unit1 Port 1   Call end"},
  };
  for (const Case& c : cases) {
    const device::StreamRecord r{c.record[0], c.record[1],
                                 std::span<const std::uint8_t>(c.record).subspan(2)};
    EXPECT_EQ(describeEvent(c.unit, r), c.text);
  }
}

// What a command wrote to its two streams, and its exit status.
struct Output {
  int status = -1;
  std::string out, err;
};

Output run(int (*command)(const Args&, std::ostream&, std::ostream&), const Args& args) {
  std::ostringstream out, err;
  Output output;
  output.status = command(args, out, err);
  output.out = out.str();
  output.err = err.str();
  return output;
}

TEST(PvtoolCommands, ReplayAndCaptureRefuseABrokenCaptureWithStatus2) {
  engine::test::TempFolder folder;
  engine::test::writeFile(folder / "bad.pvcap", "NOTACAPTURE-------------------------");
  const std::string file = (folder / "bad.pvcap").string();
  const Output capture = run(runCapture, {file});
  EXPECT_EQ(capture.status, 2);
  EXPECT_EQ(capture.out, "");
  EXPECT_NE(capture.err.find("pvtool capture: " + file), std::string::npos) << capture.err;
  EXPECT_EQ(run(runReplay, {file, "--folder", (folder / "out").string(), "--setting", "44"}).status,
            2);
  EXPECT_FALSE(std::filesystem::exists(folder / "out"));
  const Output noSetting = run(runReplay, {file, "--folder", (folder / "out").string()});
  EXPECT_EQ(noSetting.status, 2);
  EXPECT_EQ(noSetting.err.rfind("pvtool replay: --setting N is needed\nusage: ", 0), 0u)
      << noSetting.err;
  std::ostringstream out, err;
  EXPECT_EQ(runLog({(folder / "missing.ZERU").string()}, {}, out, err), 1);
  EXPECT_EQ(out.str(), "");
  EXPECT_NE(err.str().find("pvtool log: "), std::string::npos);
  // A length of time that is no number of seconds is refused before anything runs.
  const std::string sim = (folder / "sim.pvcap").string();
  for (const char* seconds : {"nan", "inf", "-1", "0", "1e300"}) {
    EXPECT_EQ(run(runSim, {"builtin", "-o", sim, "--seconds", seconds}).status, 2) << seconds;
  }
  EXPECT_FALSE(std::filesystem::exists(folder / "sim.pvcap"));
  // Settings that are no ParvolinSetting are refused before anything is made.
  for (const char* setting : {"64", "-1", "99999999999", "0x", "44x"}) {
    EXPECT_EQ(
        run(runReplay, {file, "--folder", (folder / "out").string(), "--setting", setting}).status,
        2)
        << setting;
  }
  EXPECT_FALSE(std::filesystem::exists(folder / "out"));
}

TEST(PvtoolCommands, SimNeverReplacesAFileUnlessToldAndNeverARecordingFoldersOwn) {
  engine::test::TempFolder folder;
  engine::test::writeFile(folder / "old.pvcap", "keep me");
  engine::test::writeFile(folder / "ParvolinLog.ZERU", std::string(32, 'r'));
  const Output kept =
      run(runSim, {"builtin", "-o", (folder / "old.pvcap").string(), "--seconds", "1"});
  EXPECT_EQ(kept.status, 2);
  EXPECT_NE(kept.err.find("exists (--force replaces it)"), std::string::npos) << kept.err;
  const Output own = run(runSim, {"builtin", "-o", (folder / "ParvolinLog.ZERU").string(),
                                  "--seconds", "1", "--force"});
  EXPECT_EQ(own.status, 2);
  EXPECT_NE(own.err.find("own files"), std::string::npos) << own.err;
  EXPECT_EQ(engine::test::readFile(folder / "old.pvcap"), "keep me");
  EXPECT_EQ(engine::test::readFile(folder / "ParvolinLog.ZERU"), std::string(32, 'r'));
  const Output replaced =
      run(runSim, {"builtin", "-o", (folder / "old.pvcap").string(), "--seconds", "1", "--force"});
  EXPECT_EQ(replaced.status, 0);
  EXPECT_NE(replaced.out.find("virtual seconds written to"), std::string::npos) << replaced.out;
  EXPECT_EQ(engine::test::readFile(folder / "old.pvcap").substr(0, 8), "PVCAP001");
}

// A capture written by sim, shown by capture and replayed by replay: each command's output goes
// to the stream it is given.
TEST(PvtoolCommands, SimCaptureAndReplayWriteTheirOutputToTheirOwnStream) {
  engine::test::TempFolder folder;
  const std::string file = (folder / "run.pvcap").string();
  ASSERT_EQ(run(runSim, {"builtin", "-o", file, "--seconds", "5"}).status, 0);
  const Output shown = run(runCapture, {file});
  EXPECT_EQ(shown.status, 0);
  EXPECT_EQ(shown.err, "");
  EXPECT_EQ(shown.out.rfind("capture    " + file + "\n", 0), 0u) << shown.out;
  EXPECT_NE(shown.out.find("\nevents:\n"), std::string::npos);
  const std::string out = (folder / "out").string();
  const Output replayed = run(runReplay, {file, "--folder", out, "--setting", "44"});
  EXPECT_EQ(replayed.status, 0) << replayed.err;
  EXPECT_NE(replayed.out.find(" reads into " + out + "\n"), std::string::npos) << replayed.out;
  const Output again = run(runReplay, {file, "--folder", out, "--setting", "44"});
  EXPECT_EQ(again.status, 2);
  EXPECT_EQ(again.out, "");
  EXPECT_NE(again.err.find("holds calls already"), std::string::npos) << again.err;
}

}  // namespace
}  // namespace parvolin::tools
