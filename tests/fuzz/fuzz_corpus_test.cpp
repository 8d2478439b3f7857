// Replays the saved corpus of every fuzz target through the same check the fuzzer runs, so that
// the ordinary build checks every input the fuzzers kept and names the input and what broke.

#include <dirent.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "../../fuzz/call_log_fuzz_entry.h"
#include "../../fuzz/capture_fuzz_entry.h"
#include "../../fuzz/engine_reads_fuzz_entry.h"
#include "../../fuzz/list_fuzz_entry.h"
#include "../../fuzz/lv_decode_fuzz_entry.h"
#include "../../fuzz/scenario_fuzz_entry.h"
#include "../../fuzz/settings_fuzz_entry.h"
#include "../../fuzz/unit_answers_fuzz_entry.h"
#include "support/test_files.h"

namespace parvolin::fuzz {
namespace {

struct Target {
  const char* corpus;  // folder under fuzz/corpus/
  FuzzCheck check;
  int leastInputs;
};

constexpr Target kTargets[] = {
    {"lv_decode_fuzz", lvDecodeFuzzCheck, 10},      {"capture_fuzz", captureFuzzCheck, 5},
    {"engine_reads_fuzz", engineReadsFuzzCheck, 3}, {"scenario_fuzz", scenarioFuzzCheck, 3},
    {"call_log_fuzz", callLogFuzzCheck, 3},         {"list_fuzz", listFuzzCheck, 10},
    {"settings_fuzz", settingsFuzzCheck, 5},        {"unit_answers_fuzz", unitAnswersFuzzCheck, 5},
};

class FuzzCorpus : public ::testing::TestWithParam<Target> {};

TEST_P(FuzzCorpus, EveryInputRunsClean) {
  const Target& target = GetParam();
  // The scratch folders are thrown away: their writes need not wait for the disk.
  struct NoWaits {
    NoWaits() { base::setDurabilityWaits(false); }
    ~NoWaits() { base::setDurabilityWaits(true); }
  } noWaits;
  const std::filesystem::path corpus =
      std::filesystem::path(PARVOLIN_SOURCE_DIR) / "fuzz" / "corpus" / target.corpus;
  int inputs = 0;
  for (const auto& entry : std::filesystem::directory_iterator(corpus)) {
    const std::vector<std::uint8_t> bytes = test::readBytes(entry.path());
    const test::TempFolder scratch;
    const std::string failure = target.check(bytes.data(), bytes.size(), scratch.path());
    EXPECT_EQ(failure, "") << target.corpus << "/" << entry.path().filename().string();
    ++inputs;
  }
  EXPECT_GE(inputs, target.leastInputs);
}

INSTANTIATE_TEST_SUITE_P(Targets, FuzzCorpus, ::testing::ValuesIn(kTargets),
                         [](const auto& info) { return std::string(info.param.corpus); });

// The fuzzers' scratch folder stays open from input to input and is listed again each time: what
// an input left, folders in folders included, is gone before the next one, however often.
TEST(FuzzScratch, AFolderKeptOpenIsEmptiedAgainAndAgain) {
  const test::TempFolder scratch;
  DIR* stream = ::opendir(scratch.path().c_str());
  ASSERT_NE(stream, nullptr);
  for (int round = 0; round < 3; ++round) {
    for (int i = 0; i <= round; ++i) {
      ASSERT_TRUE(writeScratchFile(scratch.path() / ("file" + std::to_string(i)), "bytes"));
    }
    std::filesystem::create_directories(scratch.path() / "a" / "b");
    std::filesystem::create_directories(scratch.path() / "empty");
    ASSERT_TRUE(writeScratchFile(scratch.path() / "a" / "b" / "inner", "x"));
    EXPECT_TRUE(removeEntries(stream));
    EXPECT_TRUE(std::filesystem::is_empty(scratch.path())) << "round " << round;
  }
  EXPECT_TRUE(removeEntries(stream)) << "an empty folder";
  ::closedir(stream);
}

}  // namespace
}  // namespace parvolin::fuzz
