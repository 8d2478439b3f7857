// Replays the saved corpus of the stream capture fuzz target through the same entry function, so
// that the ordinary build checks every input the fuzzer kept.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

#include "../../fuzz/capture_fuzz_entry.h"

namespace parvolin::fuzz {
namespace {

TEST(CaptureFuzzCorpus, EveryInputRunsClean) {
  const std::filesystem::path corpus =
      std::filesystem::path(PARVOLIN_SOURCE_DIR) / "fuzz" / "corpus" / "capture_fuzz";
  int inputs = 0;
  for (const auto& entry : std::filesystem::directory_iterator(corpus)) {
    std::ifstream f(entry.path(), std::ios::binary);
    const std::vector<std::uint8_t> bytes{std::istreambuf_iterator<char>(f),
                                          std::istreambuf_iterator<char>()};
    SCOPED_TRACE(entry.path().filename().string());
    EXPECT_EQ(captureFuzzOne(bytes.data(), bytes.size()), 0);
    ++inputs;
  }
  EXPECT_GE(inputs, 5);
}

}  // namespace
}  // namespace parvolin::fuzz
