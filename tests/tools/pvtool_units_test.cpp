#include <gmock/gmock.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "device/stream_record.h"
#include "support/test_files.h"
#include "tools/pvtool_commands.h"
#include "tools/unit_description.h"

namespace parvolin::test {
namespace {

using ::testing::HasSubstr;
using ::testing::Not;

struct Run {
  int status = -1;
  std::string out, err;
};

Run runUnits(const tools::Args& args) {
  std::ostringstream out, err;
  Run run;
  run.status = tools::runUnits(args, out, err);
  run.out = out.str();
  run.err = err.str();
  return run;
}

TEST(PvtoolUnitsTest, ListsSettingsWatchesCallsAndSurvivesAnUnplug) {
  TempFolder folder;
  const auto path = folder / "units.scenario";
  std::ofstream(path) << R"(unit U1 varports=0x23 callerid=0x58 number=0x01020304 version13=0
unit U2
1   1/2 ring
1.5 1/2 callerid A 0123;<OP?
2   1/2 answer
2   1/2 talk 2
4   1/2 callend 0123
5   2/4 dialout 90
6   2/4 calloutend 90
7   2 unplug
8   2 replug
9   2/1 digit 12
)";
  const auto [status, out, err] = runUnits({"--simulate=" + path.string(), "--seconds", "10"});
  EXPECT_EQ(status, 0);
  EXPECT_EQ(err, "");
  EXPECT_THAT(out, HasSubstr("2 unit(s) listed"));
  EXPECT_THAT(out, HasSubstr("Unit1  serial U1"));
  EXPECT_THAT(out, HasSubstr("byte 13 \"0\", byte 15 \"2\": settings are read-only"));
  EXPECT_THAT(out,
              HasSubstr("VAR ports   0x23  invalid (high nibble not 5); taken as no VAR port"));
  EXPECT_THAT(out, HasSubstr("caller ID   0x58  invalid"));
  EXPECT_THAT(out, HasSubstr("unit number 0x01020304"));
  EXPECT_THAT(out, HasSubstr("Unit1 Port 2   Caller ID A  0123;<OP?"));
  EXPECT_THAT(out, HasSubstr("Unit1 Port 2   Call end     0123   (31 audio blocks, 2.0 s)"));
  EXPECT_THAT(out, HasSubstr("Unit2 Port 8   Digit        9"));
  EXPECT_THAT(out, HasSubstr("Unit2 Port 8   Callout end  90   (0 audio blocks, 0.0 s)"));
  EXPECT_THAT(out, HasSubstr("Unit2 lost"));
  EXPECT_THAT(out, HasSubstr("Unit2 reopened; stream restarted"));
  EXPECT_THAT(out, HasSubstr("Unit2 Port 5   Digit        12"));
  EXPECT_THAT(out, HasSubstr("Units closed."));
  EXPECT_THAT(out, Not(HasSubstr("Audio")));
}

TEST(PvtoolUnitsTest, BadArgumentsAreRefused) {
  for (const tools::Args& args :
       {tools::Args{"--seconds", "0"}, tools::Args{"--seconds", "1e17"},
        tools::Args{"--seconds=inf"}, tools::Args{"--bogus"}, tools::Args{"--driver", "x"}}) {
    const auto [status, out, err] = runUnits(args);
    EXPECT_EQ(status, 2);
    EXPECT_EQ(out, "") << "nothing watched";
    if (args[0].rfind("--seconds", 0) == 0) {
      EXPECT_THAT(err, HasSubstr("--seconds must be a number from 0.001 to 4000000"));
    }
  }
}

TEST(UnitDescriptionTest, RegisterValuesShowTheirMeaningOrTheDefault) {
  EXPECT_EQ(tools::describeCallerIdMode(0x53),
            "0x53  pre-ring DTMF on, pre-ring FSK on, FSK forced between rings");
  EXPECT_EQ(tools::describeCallerIdMode(0x54),
            "0x54  pre-ring DTMF off, pre-ring FSK off, FSK not forced between rings");
  EXPECT_EQ(tools::describeVarPorts(0x5A), "0x5A  VAR on port(s) 2, 4");
  EXPECT_EQ(tools::describeVarThreshold(0x50), "0x50  extra sensitivity");
  EXPECT_EQ(tools::describeVarThreshold(0x23),
            "0x23  invalid (high nibble not 5); taken as mid sensitivity");
  EXPECT_EQ(tools::describeVarTurnOffDelay(0x53), "0x53  100 s");
  EXPECT_EQ(tools::describeVarTurnOffDelay(0x57),
            "0x57  invalid (high nibble not 5); taken as 12 s");
  EXPECT_EQ(tools::describeVarTimeout(0x52), "0x52  60 min");
  EXPECT_EQ(tools::describeAudioMode(2), "2  \"2. Small file, Good audio\"");
}

TEST(UnitDescriptionTest, RecordDetailsDecodeDigitsWithTheirTable) {
  std::array<std::uint8_t, 32> payload{};
  payload[1] = 0x1A;  // "1", "0"
  payload[2] = 0xDE;  // table A: "O", "P"
  payload[7] = 0xDE;  // table B: "=", ">"
  payload[8] = 0xF0;  // "?", then no digit
  using device::StreamRecord;
  EXPECT_EQ(tools::recordDetail(StreamRecord{0, device::kCallerIdB, payload}), "10OP");
  EXPECT_EQ(tools::recordDetail(StreamRecord{0, device::kVarEndEvent, payload}), "=>?");
  const std::uint8_t ten = 10, none = 0;
  EXPECT_EQ(tools::recordDetail(StreamRecord{0, device::kDigitEvent, {&ten, 1}}), "0");
  EXPECT_EQ(tools::recordDetail(StreamRecord{0, device::kDigitEvent, {&none, 1}}), "(none)");
}

}  // namespace
}  // namespace parvolin::test
