#include "tools/number_options.h"

#include <gtest/gtest.h>

namespace parvolin::tools {
namespace {

TEST(NumberOptions, OnlyNumbersInTheirRangeAreTaken) {
  struct Case {
    const char* text;
    std::optional<double> value;
  };
  const Case decimals[] = {
      {"10", 10}, {"0.5", 0.5}, {"4000000", 4e6}, {"1e17", {}}, {"inf", {}},  {"nan", {}},
      {"-5", {}}, {"0", {}},    {"", {}},         {"10s", {}},  {"0x10", {}},
  };
  for (const Case& c : decimals) {
    std::string error;
    EXPECT_EQ(parseDecimalOption("--seconds", c.text, 0.001, 4e6, error), c.value) << c.text;
    if (!c.value) {
      EXPECT_EQ(error, std::string("--seconds must be a number from 0.001 to 4000000, not '") +
                           c.text + "'");
    }
  }
  const std::pair<const char*, std::optional<std::int64_t>> wholes[] = {
      {"44", 44},  {"0x2C", 44}, {"63", 63}, {"64", {}},  {"-1", {}},
      {"4.5", {}}, {"0x", {}},   {"", {}},   {"1e1", {}}, {"99999999999999999999999", {}},
  };
  for (const auto& [text, value] : wholes) {
    std::string error;
    EXPECT_EQ(parseWholeOption("--setting", text, 0, 63, error), value) << text;
    if (!value) {
      EXPECT_EQ(error,
                std::string("--setting must be a whole number from 0 to 63, not '") + text + "'");
    }
  }
}

}  // namespace
}  // namespace parvolin::tools
