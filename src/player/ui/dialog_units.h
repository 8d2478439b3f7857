#pragma once

#include <QFont>
#include <QFontMetrics>
#include <QRect>

namespace parvolin::player::ui {

// Geometry given in dialog units, turned into pixels from the dialog's font: a horizontal unit
// is a quarter of the font's average character width, a vertical unit an eighth of its height.
class DialogUnits {
 public:
  explicit DialogUnits(const QFont& font) {
    const QFontMetrics metrics(font);
    const int letters =
        metrics.horizontalAdvance("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz");
    baseX_ = (letters / 26 + 1) / 2;
    baseY_ = metrics.height();
  }

  int x(int units) const { return units * baseX_ / 4; }
  int y(int units) const { return units * baseY_ / 8; }
  QRect rect(int left, int top, int width, int height) const {
    return {x(left), y(top), x(width), y(height)};
  }
  QSize size(int width, int height) const { return {x(width), y(height)}; }

 private:
  int baseX_ = 1;
  int baseY_ = 1;
};

}  // namespace parvolin::player::ui
