#pragma once

namespace parvolin::base {

// Window layouts are given in dialog units, which follow the dialog's font: a horizontal unit is
// a quarter of the font's average character width, a vertical unit an eighth of its height. The
// two base values are those pixel sizes (average width and height); the windows measure them on
// their font, the layout rules compute with them.
struct DialogBaseUnits {
  int x = 1;  // average character width in pixels
  int y = 1;  // character height in pixels

  constexpr int toPixelsX(int units) const { return units * x / 4; }
  constexpr int toPixelsY(int units) const { return units * y / 8; }
};

// A rectangle in pixels (left, top, width, height).
struct PixelRect {
  int x = 0;
  int y = 0;
  int width = 0;
  int height = 0;

  constexpr int bottom() const { return y + height; }
  friend constexpr bool operator==(const PixelRect&, const PixelRect&) = default;
};

// A rectangle given in dialog units, in pixels.
constexpr PixelRect toPixels(DialogBaseUnits base, int x, int y, int width, int height) {
  return {base.toPixelsX(x), base.toPixelsY(y), base.toPixelsX(width), base.toPixelsY(height)};
}

}  // namespace parvolin::base
