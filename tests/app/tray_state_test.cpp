#include "app/tray_state.h"

#include <gtest/gtest.h>

namespace parvolin::app {
namespace {

using Step = TrayState::Step;

constexpr Step kToTray{.createIcon = true, .hideWindow = true};
constexpr Step kBack{.removeIcon = true, .showWindow = true};
constexpr Step kNothing{};

TEST(TrayState, MinimiseRestoreAndMinimiseAgainMakesAFreshIcon) {
  TrayState tray(true);
  EXPECT_EQ(tray.minimised(), kToTray);
  EXPECT_TRUE(tray.trayMinimised());
  EXPECT_TRUE(tray.hasIcon());
  // A second minimise while in the tray (the desktop repeating itself) changes nothing.
  EXPECT_EQ(tray.minimised(), kNothing);
  EXPECT_EQ(tray.restored(), kBack);
  EXPECT_FALSE(tray.trayMinimised());
  EXPECT_FALSE(tray.hasIcon());
  EXPECT_EQ(tray.restored(), kNothing);
  EXPECT_EQ(tray.minimised(), kToTray);
}

TEST(TrayState, EveryWayOutRemovesTheIcon) {
  TrayState inTray(true);
  inTray.minimised();
  EXPECT_EQ(inTray.destroyed(), (Step{.removeIcon = true}));
  EXPECT_FALSE(inTray.hasIcon());

  TrayState shown(true);
  EXPECT_EQ(shown.destroyed(), kNothing);
}

// Without a tray the window is never hidden: it stays a minimised window in the task bar.
TEST(TrayState, WithoutATrayMinimisingKeepsTheWindowReachable) {
  TrayState tray(false);
  EXPECT_EQ(tray.minimised(), kNothing);
  EXPECT_FALSE(tray.trayMinimised());
  EXPECT_EQ(tray.restored(), kNothing);
  EXPECT_EQ(tray.destroyed(), kNothing);
}

}  // namespace
}  // namespace parvolin::app
