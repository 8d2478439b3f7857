#include "app/main_window_layout.h"

#include <gtest/gtest.h>

namespace parvolin::app {
namespace {

// The base units of the classic 8-point dialog font: 6 pixels wide, 13 high.
constexpr base::DialogBaseUnits kClassic{6, 13};

// Every control below the grid, as the shrink moves them.
constexpr int kBelowGrid[] = {1045, 1046, 1047, 1048, 1049, 1050, 1020, 1021,
                              1016, 1017, 1042, 1001, 1000, 1011, 1};

TEST(MainWindowLayout, FullWindowFollowsTheDialogUnits) {
  const MainWindowLayout layout = mainWindowLayout(kClassic, 4);
  EXPECT_EQ(layout.width, 555);   // 370 units
  EXPECT_EQ(layout.height, 368);  // 227 units
  // Port 6 (second row, second column), its detail line under it.
  EXPECT_EQ(layout.find(1013)->rect, (base::PixelRect{138, 56, 139, 24}));
  EXPECT_EQ(layout.find(1014)->rect, (base::PixelRect{138, 81, 139, 32}));
  EXPECT_EQ(layout.find(control::kExit)->rect, (base::PixelRect{393, 333, 61, 19}));
  EXPECT_EQ(layout.find(control::kLocationLine)->rect, (base::PixelRect{61, 295, 433, 19}));
  for (const ControlPlace& c : layout.controls) EXPECT_TRUE(c.visible) << c.id;
}

// For 1, 2, 3 and 4 units: the rows of absent units hidden, the controls below the grid moved
// up by s = k x 56 + 20 (a row's two lines are 24 + 32 pixels) and left by 3, the window
// 30 - s pixels higher; the grid itself stays where it is.
TEST(MainWindowLayout, ShrinksToTheUnitsPresent) {
  const MainWindowLayout full = mainWindowLayout(kClassic, 4);
  struct Case {
    int rows;
    int shift;
    int height;
  };
  for (const Case c : {Case{1, 188, 210}, Case{2, 132, 266}, Case{3, 76, 322}, Case{4, 0, 368}}) {
    const MainWindowLayout layout = mainWindowLayout(kClassic, c.rows);
    EXPECT_EQ(layout.height, c.height) << c.rows;
    EXPECT_EQ(layout.width, full.width) << c.rows;
    const int left = c.rows == 4 ? 0 : 3;
    for (const int id : kBelowGrid) {
      const base::PixelRect was = full.find(id)->rect;
      EXPECT_EQ(layout.find(id)->rect,
                (base::PixelRect{was.x - left, was.y - c.shift, was.width, was.height}))
          << "control " << id << " with " << c.rows << " rows";
    }
    for (int port = 0; port < device::kMaxPorts; ++port) {
      const bool shown = port < 4 * c.rows;
      for (const int id : {control::kPortStatus[port], control::kPortDetail[port]}) {
        EXPECT_EQ(layout.find(id)->visible, shown) << id;
        EXPECT_EQ(layout.find(id)->rect, full.find(id)->rect) << id;
      }
    }
    // The status line is the window's last line.
    EXPECT_EQ(layout.find(control::kStatusLine)->rect.bottom(), layout.height) << c.rows;
    EXPECT_GE(layout.find(control::kStatusLine)->rect.y,
              layout.find(control::kExit)->rect.bottom());
  }
}

TEST(MainWindowLayout, ARowCountOutsideOneToFourKeepsTheWholeWindow) {
  for (const int rows : {0, 5, -1}) {
    EXPECT_EQ(mainWindowLayout(kClassic, rows).height, 368) << rows;
  }
}

// Larger fonts make a larger window by the same rules.
TEST(MainWindowLayout, ScalesWithTheFont) {
  const MainWindowLayout layout = mainWindowLayout({12, 26}, 2);
  // A row is 48 + 65 pixels; s = 2 x 113 + 20.
  EXPECT_EQ(layout.height, 737 + 30 - 246);
  EXPECT_EQ(layout.find(control::kExit)->rect.x, 786 - 3);
}

TEST(MainWindowLayout, BarsHoldTheirPositionWithinTheRange) {
  struct Case {
    int rangeEnd, position, maximum, value;
  };
  for (const Case c : {Case{2000, 15, 2000, 15}, Case{2000, 2500, 2000, 2000},
                       Case{500, -3, 500, 0}, Case{0, 0, 1, 0}, Case{0, 7, 1, 0}}) {
    const BarSetting bar = barSetting(c.rangeEnd, c.position);
    EXPECT_EQ(bar.maximum, c.maximum) << c.rangeEnd << " " << c.position;
    EXPECT_EQ(bar.value, c.value) << c.rangeEnd << " " << c.position;
  }
}

}  // namespace
}  // namespace parvolin::app
