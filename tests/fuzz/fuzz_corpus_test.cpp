// Replays the saved corpus of every fuzz target through the same entry function the fuzzer
// calls, so that the ordinary build checks every input the fuzzers kept.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

#include "../../fuzz/capture_fuzz_entry.h"
#include "../../fuzz/engine_reads_fuzz_entry.h"
#include "../../fuzz/lv_decode_fuzz_entry.h"
#include "../../fuzz/scenario_fuzz_entry.h"

namespace parvolin::fuzz {
namespace {

struct Target {
  const char* corpus;  // folder under fuzz/corpus/
  int (*runOne)(const std::uint8_t*, std::size_t);
  int leastInputs;
};

constexpr Target kTargets[] = {
    {"lv_decode_fuzz", lvDecodeFuzzOne, 10},
    {"capture_fuzz", captureFuzzOne, 5},
    {"engine_reads_fuzz", engineReadsFuzzOne, 3},
    {"scenario_fuzz", scenarioFuzzOne, 3},
};

class FuzzCorpus : public ::testing::TestWithParam<Target> {};

TEST_P(FuzzCorpus, EveryInputRunsClean) {
  const Target& target = GetParam();
  const std::filesystem::path corpus =
      std::filesystem::path(PARVOLIN_SOURCE_DIR) / "fuzz" / "corpus" / target.corpus;
  int inputs = 0;
  for (const auto& entry : std::filesystem::directory_iterator(corpus)) {
    std::ifstream f(entry.path(), std::ios::binary);
    const std::vector<std::uint8_t> bytes{std::istreambuf_iterator<char>(f),
                                          std::istreambuf_iterator<char>()};
    SCOPED_TRACE(entry.path().filename().string());
    EXPECT_EQ(target.runOne(bytes.data(), bytes.size()), 0);
    ++inputs;
  }
  EXPECT_GE(inputs, target.leastInputs);
}

INSTANTIATE_TEST_SUITE_P(Targets, FuzzCorpus, ::testing::ValuesIn(kTargets),
                         [](const auto& info) { return std::string(info.param.corpus); });

}  // namespace
}  // namespace parvolin::fuzz
