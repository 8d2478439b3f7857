#include "app/recent_problems.h"

#include <gtest/gtest.h>

#include <string>

namespace parvolin::app {
namespace {

TEST(RecentProblems, LatestFirstWithTimeRepeatsCountedOldestDropped) {
  RecentProblems problems;
  EXPECT_TRUE(problems.empty());
  EXPECT_EQ(problems.latestLine(), "");

  problems.add(1'700'000'000, "unit 2 lost");
  // "HH:MM:SS  unit 2 lost", in local time.
  const std::string line = problems.latestLine();
  EXPECT_EQ(line.size(), 8 + 2 + 11) << line;
  EXPECT_TRUE(line.substr(0, 8).find_first_not_of("0123456789:") == std::string::npos &&
              line[2] == ':' && line[5] == ':' && line.substr(8) == "  unit 2 lost")
      << line;
  problems.add(1'700'000'005, "cannot write ZEruTestNew.htm");
  problems.add(1'700'000'006, "cannot write ZEruTestNew.htm");
  EXPECT_TRUE(problems.latestLine().ends_with("cannot write ZEruTestNew.htm (2 times)"));
  const std::string list = problems.listText();
  EXPECT_LT(list.find("ZEruTestNew.htm (2 times)"), list.find("unit 2 lost")) << list;

  for (int i = 0; i < 30; ++i) problems.add(1'700'000'100 + i, "problem " + std::to_string(i));
  const std::string kept = problems.listText();
  EXPECT_EQ(std::count(kept.begin(), kept.end(), '\n') + 1, int(RecentProblems::kKept));
  EXPECT_NE(kept.find("problem 29"), std::string::npos);
  EXPECT_EQ(kept.find("problem 9\n"), std::string::npos);
  EXPECT_EQ(kept.find("unit 2 lost"), std::string::npos);
}

}  // namespace
}  // namespace parvolin::app
