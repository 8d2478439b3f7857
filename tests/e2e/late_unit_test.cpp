// The recorder on emulated units, one of which is plugged in after the start.

#include <gtest/gtest.h>

#include <string>

#include "e2e/headless_recorder.h"

namespace parvolin::e2e {
namespace {

// Unit PVB is plugged in 10 s after the start, and has a call on its second port at 12 s.
constexpr const char* kLateUnit = R"(unit PVA
unit PVB
1 PVA/1 ring
+0.5 PVA/1 answer
+0 PVA/1 talk 2
+2 PVA/1 callend 5550001
10 PVB plug
12 PVB/2 ring
+0.5 PVB/2 callerid A 5550002
+0.5 PVB/2 answer
+0 PVB/2 talk 3
+3 PVB/2 callend 5550002
)";

TEST_F(HeadlessRecorder, UnitPluggedInTenSecondsAfterTheStartIsRecorded) {
  const auto scenario = writeScenario("late.scn", kLateUnit);
  ASSERT_EQ(
      run({"--headless", "--simulate=" + scenario.string(), "--virtual", "--config",
           (work() / "Parvolin.conf").string(), "--folder", "rec", "--capture", "late.pvcap"}),
      0)
      << errors_;
  EXPECT_NE(errors_.find("Unit2: plugged in (serial PVB), set up and recording"), std::string::npos)
      << errors_;
  // Its ports are shown from then on.
  EXPECT_NE(output_.find(" Port:  6            IDLE"), std::string::npos) << output_;
  const auto log = callLog(work() / "rec");
  ASSERT_EQ(log.size(), 2u) << output_;
  EXPECT_EQ(log[0].portIndex, 0);
  EXPECT_EQ(log[1].portIndex, 5);
  EXPECT_EQ(log[1].text().substr(0, 7), "5550002");
  EXPECT_NEAR(log[1].durationSec, 3, 1);

  // The capture began before the unit came: it holds the first unit's reads and stays readable.
  ASSERT_EQ(run({"--replay", (work() / "late.pvcap").string(), "--config",
                 (work() / "Parvolin.conf").string(), "--folder", "replayed"}),
            0)
      << errors_;
  EXPECT_EQ(callLog(work() / "replayed").size(), 1u);
}

}  // namespace
}  // namespace parvolin::e2e
