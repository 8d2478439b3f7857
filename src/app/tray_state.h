#pragma once

#include <string_view>

#include "engine/unwritten.h"

namespace parvolin::app {

inline constexpr std::string_view kTrayToolTip = "Parvolin";
inline constexpr std::string_view kTrayRestoreText = "&Restore";  // the default item
inline constexpr std::string_view kTrayExitText = "E&xit";
inline constexpr std::string_view kDiskLowTrayText =
    "Parvolin: the disk is nearly full; recording stops soon";
inline constexpr std::string_view kDiskFullTrayText =
    "Parvolin: the disk is full; audio is no longer recorded";

// What the tray says of the recording folder's disk, as its tooltip and a notification: empty
// while it has room (the icon is then the usual one, with kTrayToolTip).
std::string_view diskTrayText(engine::DiskSpace space);

// The main window's two states, shown or in the tray, and the steps that take it from one to
// the other. The window carries out each step in order: the tray icon first, then the window's
// visibility.
//
// Where the desktop has no tray, hiding the window on minimise would leave the recorder running
// with no way back to it; there a minimised window stays an ordinary minimised window in the
// task bar, and no icon is made.
class TrayState {
 public:
  struct Step {
    bool createIcon = false;
    bool removeIcon = false;
    bool hideWindow = false;
    bool showWindow = false;  // restored to its normal size and shown
    friend bool operator==(const Step&, const Step&) = default;
  };

  explicit TrayState(bool trayAvailable) : trayAvailable_(trayAvailable) {}

  // The window was minimised (by the user, or at a start asked to be minimised).
  Step minimised();
  // "&Restore", a double click on the icon, or the window restored by the desktop.
  Step restored();
  // The window is going: every way out removes the icon.
  Step destroyed();

  bool trayMinimised() const { return trayMinimised_; }
  bool hasIcon() const { return hasIcon_; }
  bool trayAvailable() const { return trayAvailable_; }

 private:
  // Brings the icon in line with trayMinimised_: made when needed, removed when not.
  void updateIcon(Step& step);

  bool trayAvailable_;
  bool trayMinimised_ = false;
  bool hasIcon_ = false;
};

}  // namespace parvolin::app
