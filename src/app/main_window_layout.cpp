#include "app/main_window_layout.h"

#include <algorithm>

namespace parvolin::app {
namespace {

using base::DialogBaseUnits;

// The port grid: four columns, a row of a unit's four ports every 35 units, each port a status
// line 15 high over a detail line 20 high.
constexpr std::array<int, 4> kColumnXDu = {0, 92, 185, 278};
constexpr std::array<int, 4> kColumnWidthDu = {92, 93, 93, 92};
constexpr int kRowPitchDu = 35;
constexpr int kStatusHeightDu = 15;
constexpr int kDetailHeightDu = 20;

// The status line: one text line under the buttons, across the window.
constexpr int kStatusLineXDu = 4;
constexpr int kStatusLineWidthDu = 362;
constexpr int kStatusLineHeightDu = 9;

// The controls below the grid, in the order the shrink moves them.
constexpr std::array<int, 15> kMovedByShrink = {1045,
                                                1046,
                                                1047,
                                                1048,
                                                1049,
                                                1050,
                                                control::kItemsLabel,
                                                control::kSpaceLabel,
                                                control::kItemsBar,
                                                control::kSpaceBar,
                                                control::kLocationLine,
                                                control::kConfigure,
                                                control::kViewLog,
                                                control::kAbout,
                                                control::kExit};

void add(MainWindowLayout& layout, DialogBaseUnits base, int id, int x, int y, int width,
         int height, TextAlign align = TextAlign::Left) {
  layout.controls.push_back({id, base::toPixels(base, x, y, width, height), true, align});
}

// The three scale texts under a bar that starts at `barX`: "0" at its left end, "50%" in its
// middle, "100%" at its right end.
void addScale(MainWindowLayout& layout, DialogBaseUnits base, const std::array<int, 3>& ids,
              int barX) {
  constexpr int kBarWidthDu = 135;
  constexpr int kScaleYDu = 169;
  constexpr int kScaleHeightDu = 8;
  constexpr int kEndWidthDu = 24;
  constexpr int kMiddleWidthDu = 30;
  add(layout, base, ids[0], barX, kScaleYDu, kEndWidthDu, kScaleHeightDu, TextAlign::Left);
  add(layout, base, ids[1], barX + (kBarWidthDu - kMiddleWidthDu) / 2, kScaleYDu, kMiddleWidthDu,
      kScaleHeightDu, TextAlign::Centre);
  add(layout, base, ids[2], barX + kBarWidthDu - kEndWidthDu, kScaleYDu, kEndWidthDu,
      kScaleHeightDu, TextAlign::Right);
}

MainWindowLayout fullLayout(DialogBaseUnits base) {
  MainWindowLayout layout;
  for (int port = 0; port < device::kMaxPorts; ++port) {
    const int row = port / device::kPortsPerUnit;
    const int column = port % device::kPortsPerUnit;
    const int y = row * kRowPitchDu;
    const auto p = std::size_t(port);
    const auto c = std::size_t(column);
    add(layout, base, control::kPortStatus[p], kColumnXDu[c], y, kColumnWidthDu[c],
        kStatusHeightDu);
    add(layout, base, control::kPortDetail[p], kColumnXDu[c], y + kStatusHeightDu,
        kColumnWidthDu[c], kDetailHeightDu);
  }
  // The two labels are centred over their bars; wider than the dialog's 100 and 90 units around
  // the same centres, so that "Logged Space: 500 / 500 (MB)" fits in the fonts of Linux desktops.
  add(layout, base, control::kItemsLabel, 47, 150, 130, 8, TextAlign::Centre);
  add(layout, base, control::kSpaceLabel, 201, 150, 130, 8, TextAlign::Centre);
  add(layout, base, control::kItemsBar, 39, 161, 135, 6);
  add(layout, base, control::kSpaceBar, 198, 161, 135, 6);
  addScale(layout, base, control::kItemsScale, 39);
  addScale(layout, base, control::kSpaceScale, 198);
  add(layout, base, control::kLocationLine, 41, 182, 289, 12);
  add(layout, base, control::kConfigure, 67, 205, 45, 12, TextAlign::Centre);
  add(layout, base, control::kViewLog, 132, 205, 45, 12, TextAlign::Centre);
  add(layout, base, control::kAbout, 197, 205, 45, 12, TextAlign::Centre);
  add(layout, base, control::kExit, 262, 205, 41, 12, TextAlign::Centre);
  layout.width = base.toPixelsX(kTemplateWidthDu);
  layout.height = base.toPixelsY(kTemplateHeightDu);
  return layout;
}

ControlPlace& place(MainWindowLayout& layout, int id) {
  return *std::find_if(layout.controls.begin(), layout.controls.end(),
                       [id](const ControlPlace& c) { return c.id == id; });
}

void shrink(MainWindowLayout& layout, int visibleRows) {
  const int rowsDropped = device::kMaxUnits - visibleRows;
  for (int port = visibleRows * device::kPortsPerUnit; port < device::kMaxPorts; ++port) {
    place(layout, control::kPortStatus[std::size_t(port)]).visible = false;
    place(layout, control::kPortDetail[std::size_t(port)]).visible = false;
  }
  const int lastPortOfFirstRow = device::kPortsPerUnit - 1;
  const int rowHeight = place(layout, control::kPortStatus[lastPortOfFirstRow]).rect.height +
                        place(layout, control::kPortDetail[lastPortOfFirstRow]).rect.height;
  const int shift = rowsDropped * rowHeight + kShrinkExtraShiftPx;
  for (const int id : kMovedByShrink) {
    base::PixelRect& r = place(layout, id).rect;
    r.x -= kShrinkLeftShiftPx;
    r.y -= shift;
  }
  layout.height += kShrinkKeptHeightPx - shift;
}

}  // namespace

const ControlPlace* MainWindowLayout::find(int id) const {
  const auto at = std::find_if(controls.begin(), controls.end(),
                               [id](const ControlPlace& c) { return c.id == id; });
  return at == controls.end() ? nullptr : &*at;
}

MainWindowLayout mainWindowLayout(DialogBaseUnits base, int visibleRows) {
  MainWindowLayout layout = fullLayout(base);
  if (visibleRows >= 1 && visibleRows < device::kMaxUnits) shrink(layout, visibleRows);
  const int statusHeight = base.toPixelsY(kStatusLineHeightDu);
  layout.controls.push_back({control::kStatusLine,
                             {base.toPixelsX(kStatusLineXDu), layout.height - statusHeight,
                              base.toPixelsX(kStatusLineWidthDu), statusHeight},
                             true,
                             TextAlign::Left});
  return layout;
}

BarSetting barSetting(int rangeEnd, int position) {
  BarSetting bar;
  bar.maximum = std::max(rangeEnd, 1);
  bar.value = std::clamp(position, 0, rangeEnd > 0 ? bar.maximum : 0);
  return bar;
}

}  // namespace parvolin::app
