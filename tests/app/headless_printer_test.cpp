#include "app/headless_printer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <string>

#include "app/recorder_session.h"

namespace parvolin::app {
namespace {

// Collects what the printer writes.
struct Capture {
  char* text = nullptr;
  std::size_t size = 0;
  std::FILE* file = open_memstream(&text, &size);
  ~Capture() {
    std::fclose(file);
    std::free(text);
  }
  std::string lines() {
    std::fflush(file);
    return std::string(text, size);
  }
};

std::size_t countLines(const std::string& s) {
  return std::count(s.begin(), s.end(), '\n');
}

TEST(HeadlessPrinter, PrintsStateChangesOnlyAndRecordingAlternationIsOneState) {
  Capture out;
  base::VirtualClock clock;
  HeadlessPrinter printer(out.file, clock);
  for (int p = 0; p < 16; ++p) printer.showPort(p, noneLine(p + 1), "");
  printer.showPort(0, idleLine(1), "");
  printer.refresh();
  EXPECT_EQ(out.lines(), "") << "nothing before start";

  engine::CapacityDisplay capacity;
  capacity.itemsText = "Logged Items: 0 / 2000 ";
  capacity.spaceText = "Logged Space: 0 / 500 (MB)";
  printer.showCapacity(capacity);
  printer.start("Logging Location:    /rec", 4);
  // Heading, four ports, the capacity.
  EXPECT_EQ(countLines(out.lines()), 6u);

  const struct {
    const char* status;
    const char* detail;
    bool printed;
  } steps[] = {
      {" Port:  1          Caller #", "Caller #:\n5551234", true},
      {" Port:  1          Caller #", "Caller #:\n5551234", false},
      {" Port:  1          Recording", "Caller #:\n5551234", true},
      {" Port:  1          ---------", "Caller #:\n5551234", false},
      {" Port:  1          Recording", "Caller #:\n5551234", false},
      {" Port:  1         Answered ", "Caller #:\n5551234", true},
  };
  for (const auto& step : steps) {
    const std::size_t before = countLines(out.lines());
    printer.showPort(0, step.status, step.detail);
    printer.showCapacity(capacity);
    printer.refresh();
    EXPECT_EQ(countLines(out.lines()) - before, step.printed ? 1u : 0u) << step.status;
  }
  capacity.itemsText = "Logged Items: 1 / 2000 ";
  printer.showCapacity(capacity);
  printer.refresh();
  EXPECT_NE(out.lines().find("Logged Items: 1 / 2000  Logged Space: 0 / 500 (MB)\n"),
            std::string::npos);
}

TEST(HeadlessPrinter, PortLineJoinsTheDetailIntoOneLine) {
  EXPECT_EQ(HeadlessPrinter::portLine("T", 0, " Port:  1          ---------", "Caller #:\n555"),
            "T  Port 1  | Port:  1          Recording |Caller #: 555");
  EXPECT_EQ(HeadlessPrinter::portLine("T", 15, idleLine(16), ""),
            "T  Port 16 | Port:  16            IDLE |");
}

}  // namespace
}  // namespace parvolin::app
