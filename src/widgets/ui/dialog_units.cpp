#include "widgets/ui/dialog_units.h"

#include <QFontMetrics>
#include <QWidget>

namespace parvolin::widgets {
namespace {

struct BaseUnits {
  int x;
  int y;
};

BaseUnits baseUnits(const QWidget* dialog) {
  const QFontMetrics metrics(dialog->font());
  static const QString kAlphabet =
      QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz");
  const int width = (metrics.horizontalAdvance(kAlphabet) / 26 + 1) / 2;
  return {width, metrics.height()};
}

}  // namespace

QRect dialogUnits(const QWidget* dialog, int x, int y, int width, int height) {
  const BaseUnits base = baseUnits(dialog);
  return QRect(x * base.x / 4, y * base.y / 8, width * base.x / 4, height * base.y / 8);
}

QSize dialogUnitSize(const QWidget* dialog, int width, int height) {
  return dialogUnits(dialog, 0, 0, width, height).size();
}

void placeInDialogUnits(QWidget* widget, int x, int y, int width, int height) {
  const QWidget* dialog = widget->parentWidget() ? widget->parentWidget() : widget;
  widget->setGeometry(dialogUnits(dialog, x, y, width, height));
}

}  // namespace parvolin::widgets
