#pragma once

#include <array>
#include <string_view>
#include <vector>

#include "base/dialog_units.h"
#include "device/unit_link.h"

namespace parvolin::app {

// The main window's controls by the numbers its layout and shrink rules use.
namespace control {
inline constexpr int kExit = 1;
inline constexpr int kViewLog = 1000;
inline constexpr int kConfigure = 1001;
inline constexpr int kAbout = 1011;
inline constexpr int kItemsBar = 1016;
inline constexpr int kSpaceBar = 1017;
inline constexpr int kItemsLabel = 1020;
inline constexpr int kSpaceLabel = 1021;
inline constexpr int kLocationLine = 1042;
// The scale texts "0", "50%", "100%" under the items bar, then under the space bar.
inline constexpr std::array<int, 3> kItemsScale = {1045, 1046, 1047};
inline constexpr std::array<int, 3> kSpaceScale = {1048, 1049, 1050};
// The status line with the latest problem the recorder reported (not one of the dialog's own).
inline constexpr int kStatusLine = 2000;
// Each port's status line and detail line, by portIndex.
inline constexpr std::array<int, device::kMaxPorts> kPortStatus = {
    1002, 1003, 1004, 1005, 1010, 1013, 1015, 1019, 1023, 1025, 1027, 1029, 1031, 1033, 1035, 1037};
inline constexpr std::array<int, device::kMaxPorts> kPortDetail = {
    1006, 1007, 1008, 1009, 1012, 1014, 1018, 1022, 1024, 1026, 1028, 1030, 1032, 1034, 1036, 1038};
}  // namespace control

inline constexpr std::string_view kWindowTitle = "Parvolin";
inline constexpr std::string_view kConfigureText = "Configure";
inline constexpr std::string_view kViewLogText = "View Log";
inline constexpr std::string_view kAboutText = "About";
inline constexpr std::string_view kExitText = "Exit";
inline constexpr std::array<std::string_view, 3> kScaleTexts = {"0", "50%", "100%"};

// The button colours as Windows colour values (0x00BBGGRR): blue text, red on hover for "Exit"
// and "Configure", green on hover for "View Log" and "About".
inline constexpr unsigned kButtonTextColor = 0xFF0000;
inline constexpr unsigned kButtonHoverRed = 0x0000FF;
inline constexpr unsigned kButtonHoverGreen = 0x00FF00;

// The dialog's size in dialog units, before it shrinks.
inline constexpr int kTemplateWidthDu = 370;
inline constexpr int kTemplateHeightDu = 227;

// What the shrink does besides dropping rows, in pixels: the controls below the grid move up by
// 20 more and 3 to the left, and the window keeps 30 of the height it would lose.
inline constexpr int kShrinkExtraShiftPx = 20;
inline constexpr int kShrinkLeftShiftPx = 3;
inline constexpr int kShrinkKeptHeightPx = 30;

// How a control's text sits in its rectangle.
enum class TextAlign { Left, Centre, Right };

struct ControlPlace {
  int id = 0;
  base::PixelRect rect;
  bool visible = true;
  TextAlign align = TextAlign::Left;
};

// Where every control of the main window goes, and the size of its client area, in pixels.
struct MainWindowLayout {
  std::vector<ControlPlace> controls;
  int width = 0;
  int height = 0;

  // The control with this id; null when there is none.
  const ControlPlace* find(int id) const;
};

// The window with the rows of `visibleRows` units (1-4): the whole dialog laid out from its
// dialog units, then, with fewer than four rows, shrunk: the rows of absent units hidden, the
// controls below the grid moved up by s = (rows dropped) x (height of a port's two lines) + 20
// and left by 3, the height reduced by s - 30. The status line sits at the bottom of the
// window whatever its height. A value outside 1-4 counts as 4.
MainWindowLayout mainWindowLayout(base::DialogBaseUnits base, int visibleRows);

// A progress bar's range end and position as the window sets them: the position held within
// the range (a count beyond its limit fills the bar), and a range that would be empty made 1,
// so that an empty bar is drawn rather than a busy one.
struct BarSetting {
  int maximum = 1;
  int value = 0;
};
BarSetting barSetting(int rangeEnd, int position);

}  // namespace parvolin::app
