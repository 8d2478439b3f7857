#include "base/program_text.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <sstream>
#include <string>

#include "base/exit_status.h"

namespace parvolin::base {
namespace {

TEST(Printable, KeepsTextAndUtf8EscapesEverythingATerminalWouldActOn) {
  struct Case {
    std::string in, out;
  };
  const Case cases[] = {
      {"5551234 ;<=>?OP", "5551234 ;<=>?OP"},
      {"a\\b", "a\\\\b"},
      {"\x1b[2J\r\n\t\x7f", "\\x1B[2J\\x0D\\x0A\\x09\\x7F"},
      {std::string("a\0b", 3), "a\\x00b"},
      {"M\xC3\xBCller \xE2\x82\xAC \xF0\x9F\x93\x9E",
       "M\xC3\xBCller \xE2\x82\xAC \xF0\x9F\x93\x9E"},
      // Not UTF-8: a stray continuation byte, a lead byte cut short, an overlong slash, a
      // surrogate, past U+10FFFF.
      {"\x80x", "\\x80x"},
      {"x\xC3", "x\\xC3"},
      {"\xC0\xAF", "\\xC0\\xAF"},
      {"\xED\xA0\x80", "\\xED\\xA0\\x80"},
      {"\xF4\x90\x80\x80", "\\xF4\\x90\\x80\\x80"},
      // Well-formed, but acted on: a C1 control (CSI) and a right-to-left override.
      {"\xC2\x9B"
       "2J",
       "\\xC2\\x9B2J"},
      {"\xE2\x80\xAE"
       "abc",
       "\\xE2\\x80\\xAEabc"},
  };
  for (const Case& c : cases) EXPECT_EQ(printable(c.in), c.out) << c.out;
}

TEST(Printable, MessagesKeepTheirLineBreaksOnly) {
  EXPECT_EQ(printableLines("Fail to locate the directory at: /x\x1b[2J\nPlease reconfigure\r"),
            "Fail to locate the directory at: /x\\x1B[2J\nPlease reconfigure\\x0D");
  EXPECT_EQ(printableLines("\n"), "\n");
}

TEST(ProgramText, VersionLineNamesTheProgramAndTheProjectVersion) {
  EXPECT_EQ(versionLine("pvtool"), "pvtool " + std::string(versionNumber()));
  const std::string number(versionNumber());
  EXPECT_EQ(std::count(number.begin(), number.end(), '.'), 2) << number;
  EXPECT_EQ(number.find_first_not_of("0123456789."), std::string::npos) << number;
}

// The README's "Exit status" table is the one the programs follow: the same numbers, the same
// meanings, in the same order.
TEST(ExitStatus, ReadmeTableMatchesTheProgramsConstants) {
  std::ifstream in(PARVOLIN_SOURCE_DIR "/README.md");
  ASSERT_TRUE(in);
  std::stringstream text;
  text << in.rdbuf();
  const std::string readme = text.str();
  const auto heading = readme.find("## Exit status");
  ASSERT_NE(heading, std::string::npos);
  std::istringstream lines(readme.substr(heading));
  std::string line;
  std::size_t row = 0;
  // Rows "| N | meaning |" with a number in the first column.
  while (std::getline(lines, line)) {
    if (line.size() < 4 || line[0] != '|' || line.back() != '|') continue;
    const std::size_t bar = line.find('|', 1);
    const std::string number = line.substr(2, bar - 3);
    if (number.empty() || number.find_first_not_of("0123456789") != std::string::npos) continue;
    ASSERT_LT(row, std::size(kExitStatuses)) << line;
    EXPECT_EQ(std::stoi(number), kExitStatuses[row].status) << line;
    EXPECT_EQ(line.substr(bar + 2, line.size() - bar - 4), kExitStatuses[row].meaning) << line;
    ++row;
  }
  EXPECT_EQ(row, std::size(kExitStatuses));
}

}  // namespace
}  // namespace parvolin::base
