#include <gtest/gtest.h>

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

TEST(PvtoolCommands, ReplayAndCaptureRefuseABrokenCaptureWithStatus2) {
  engine::test::TempFolder folder;
  engine::test::writeFile(folder / "bad.pvcap", "NOTACAPTURE-------------------------");
  const std::string file = (folder / "bad.pvcap").string();
  EXPECT_EQ(runCapture({file}), 2);
  EXPECT_EQ(runReplay({file, "--folder", (folder / "out").string(), "--setting", "44"}), 2);
  EXPECT_FALSE(std::filesystem::exists(folder / "out"));
  EXPECT_EQ(runReplay({file, "--folder", (folder / "out").string()}), 2) << "no --setting";
  EXPECT_EQ(runLog({(folder / "missing.ZERU").string()}, {}), 1);
  // A length of time that is no number of seconds is refused before anything runs.
  const std::string out = (folder / "sim.pvcap").string();
  for (const char* seconds : {"nan", "inf", "-1", "0", "1e300"}) {
    EXPECT_EQ(runSim({"builtin", "-o", out, "--seconds", seconds}), 2) << seconds;
  }
  EXPECT_FALSE(std::filesystem::exists(folder / "sim.pvcap"));
  // Settings that are no ParvolinSetting are refused before anything is made.
  const std::string capture = (folder / "bad.pvcap").string();
  for (const char* setting : {"64", "-1", "99999999999", "0x", "44x"}) {
    EXPECT_EQ(runReplay({capture, "--folder", (folder / "out").string(), "--setting", setting}), 2)
        << setting;
  }
  EXPECT_FALSE(std::filesystem::exists(folder / "out"));
}

TEST(PvtoolCommands, SimNeverReplacesAFileUnlessToldAndNeverARecordingFoldersOwn) {
  engine::test::TempFolder folder;
  engine::test::writeFile(folder / "old.pvcap", "keep me");
  engine::test::writeFile(folder / "ParvolinLog.ZERU", std::string(32, 'r'));
  ::testing::internal::CaptureStderr();
  EXPECT_EQ(runSim({"builtin", "-o", (folder / "old.pvcap").string(), "--seconds", "1"}), 2);
  EXPECT_EQ(runSim({"builtin", "-o", (folder / "ParvolinLog.ZERU").string(), "--seconds", "1",
                    "--force"}),
            2);
  const std::string err = ::testing::internal::GetCapturedStderr();
  EXPECT_NE(err.find("exists (--force replaces it)"), std::string::npos) << err;
  EXPECT_NE(err.find("own files"), std::string::npos) << err;
  EXPECT_EQ(engine::test::readFile(folder / "old.pvcap"), "keep me");
  EXPECT_EQ(engine::test::readFile(folder / "ParvolinLog.ZERU"), std::string(32, 'r'));
  ::testing::internal::CaptureStdout();
  EXPECT_EQ(runSim({"builtin", "-o", (folder / "old.pvcap").string(), "--seconds", "1", "--force"}),
            0);
  ::testing::internal::GetCapturedStdout();
  EXPECT_EQ(engine::test::readFile(folder / "old.pvcap").substr(0, 8), "PVCAP001");
}

}  // namespace
}  // namespace parvolin::tools
