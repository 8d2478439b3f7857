#pragma once

#include <QRect>

class QWidget;

namespace parvolin::widgets {

// Dialog units, as window layouts are given, to pixels of `dialog`'s font: a horizontal unit is
// a quarter of the average character width, a vertical one an eighth of the character height.
QRect dialogUnits(const QWidget* dialog, int x, int y, int width, int height);
QSize dialogUnitSize(const QWidget* dialog, int width, int height);

// Places `widget` at a rectangle given in dialog units of its parent.
void placeInDialogUnits(QWidget* widget, int x, int y, int width, int height);

}  // namespace parvolin::widgets
