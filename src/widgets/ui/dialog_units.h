#pragma once

#include <QFont>
#include <QRect>

#include "base/dialog_units.h"

class QWidget;

namespace parvolin::widgets {

// The point size of the programs' window font, the font their dialog-unit layouts are drawn in.
inline constexpr int kFontPointSize = 9;

// Dialog units, as window layouts are given, to pixels of a dialog's font: a horizontal unit is
// a quarter of the average character width, a vertical one an eighth of the character height.
class DialogUnits {
 public:
  explicit DialogUnits(const QFont& font);
  explicit DialogUnits(const QWidget* dialog);

  base::DialogBaseUnits base() const { return base_; }
  int x(int units) const { return base_.toPixelsX(units); }
  int y(int units) const { return base_.toPixelsY(units); }
  QRect rect(int left, int top, int width, int height) const;
  QSize size(int width, int height) const { return {x(width), y(height)}; }

 private:
  base::DialogBaseUnits base_;
};

QRect dialogUnits(const QWidget* dialog, int x, int y, int width, int height);
QSize dialogUnitSize(const QWidget* dialog, int width, int height);

// Places `widget` at a rectangle given in dialog units of its parent.
void placeInDialogUnits(QWidget* widget, int x, int y, int width, int height);

// A rectangle of pixels as Qt's.
inline QRect toQRect(const base::PixelRect& r) {
  return {r.x, r.y, r.width, r.height};
}

}  // namespace parvolin::widgets
