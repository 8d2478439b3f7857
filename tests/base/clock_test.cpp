#include "base/clock.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <optional>
#include <string>

namespace parvolin::base {
namespace {

// Sets the process's time zone for the scope, and puts the one before back.
class TimeZone {
 public:
  explicit TimeZone(const char* zone) {
    if (const char* before = std::getenv("TZ")) saved_ = before;
    ::setenv("TZ", zone, 1);
    ::tzset();
  }
  ~TimeZone() {
    if (saved_) {
      ::setenv("TZ", saved_->c_str(), 1);
    } else {
      ::unsetenv("TZ");
    }
    ::tzset();
  }

 private:
  std::optional<std::string> saved_;
};

// Every shown call time goes through one formatter: the zone of the machine applies, and the
// two forms show the same moment.
TEST(LocalTimeText, ShowsTheMomentInTheLocalZoneInBothForms) {
  struct Case {
    const char* zone;
    std::int64_t seconds;
    const char* dateAndTime;
    const char* timeOfDay;
  };
  const Case cases[] = {
      {"UTC0", 1'141'653'909, "2006-03-06 14:05:09", "14:05:09"},
      {"EST5", 1'141'653'909, "2006-03-06 09:05:09", "09:05:09"},
      {"UTC0", 0, "1970-01-01 00:00:00", "00:00:00"},
      // Across midnight into the next day, east of Greenwich.
      {"JST-9", 1'141'653'909, "2006-03-06 23:05:09", "23:05:09"},
      {"JST-9", 1'141'653'909 + 3600, "2006-03-07 00:05:09", "00:05:09"},
      // Past 2038: the stored seconds are 64-bit.
      {"UTC0", 4'102'444'800, "2100-01-01 00:00:00", "00:00:00"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.zone) + " " + std::to_string(c.seconds));
    const TimeZone zone(c.zone);
    EXPECT_EQ(localTimeText(c.seconds, kDateAndTimeFormat), c.dateAndTime);
    EXPECT_EQ(localTimeText(c.seconds, kTimeOfDayFormat), c.timeOfDay);
  }
}

}  // namespace
}  // namespace parvolin::base
