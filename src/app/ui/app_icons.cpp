#include "app/ui/app_icons.h"

#include <QPainter>
#include <QPixmap>
#include <QString>
#include <QSvgRenderer>

namespace parvolin::app::ui::icons {
namespace {

// The sizes a window, a task bar, a tray and a button ask for.
constexpr int kSizes[] = {16, 22, 24, 32, 48, 64, 128, 256};

// Rendered once for each size, so that every size is sharp without an icon-engine plugin.
QIcon fromSvg(const QString& resource) {
  QSvgRenderer svg(resource);
  QIcon icon;
  if (!svg.isValid()) return icon;
  for (const int size : kSizes) {
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    svg.render(&painter);
    painter.end();
    icon.addPixmap(pixmap);
  }
  return icon;
}

}  // namespace

QIcon program() {
  static const QIcon icon = fromSvg(QStringLiteral(":/icons/parvolin.svg"));
  return icon;
}

QIcon tray() {
  static const QIcon icon = fromSvg(QStringLiteral(":/icons/parvolin-tray.svg"));
  return icon;
}

QIcon exit() {
  static const QIcon icon = fromSvg(QStringLiteral(":/icons/parvolin-exit.svg"));
  return icon;
}

}  // namespace parvolin::app::ui::icons
