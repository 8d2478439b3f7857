#include "widgets/ui/dialog_units.h"

#include <QFontMetrics>
#include <QWidget>

namespace parvolin::widgets {

DialogUnits::DialogUnits(const QFont& font) {
  const QFontMetrics metrics(font);
  static const QString kAlphabet =
      QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz");
  base_.x = (metrics.horizontalAdvance(kAlphabet) / 26 + 1) / 2;
  base_.y = metrics.height();
}

DialogUnits::DialogUnits(const QWidget* dialog) : DialogUnits(dialog->font()) {}

QRect DialogUnits::rect(int left, int top, int width, int height) const {
  return toQRect(base::toPixels(base_, left, top, width, height));
}

QRect dialogUnits(const QWidget* dialog, int x, int y, int width, int height) {
  return DialogUnits(dialog).rect(x, y, width, height);
}

QSize dialogUnitSize(const QWidget* dialog, int width, int height) {
  return DialogUnits(dialog).size(width, height);
}

void placeInDialogUnits(QWidget* widget, int x, int y, int width, int height) {
  const QWidget* dialog = widget->parentWidget() ? widget->parentWidget() : widget;
  widget->setGeometry(dialogUnits(dialog, x, y, width, height));
}

}  // namespace parvolin::widgets
