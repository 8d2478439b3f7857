#include "base/clock.h"

#include <chrono>
#include <ctime>
#include <thread>

namespace parvolin::base {

std::int64_t SystemClock::wallMs() {
  using namespace std::chrono;
  return duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count();
}

std::int64_t SystemClock::monotonicMs() {
  using namespace std::chrono;
  return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

void SystemClock::sleepMs(std::int64_t ms) {
  if (ms > 0) std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

std::string localTimeText(std::int64_t seconds, const char* format) {
  const std::time_t when = static_cast<std::time_t>(seconds);
  std::tm local{};
  localtime_r(&when, &local);
  char text[64] = {};
  std::strftime(text, sizeof text, format, &local);
  return text;
}

}  // namespace parvolin::base
