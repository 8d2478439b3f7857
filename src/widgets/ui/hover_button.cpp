#include "widgets/ui/hover_button.h"

#include <QStyleOptionButton>
#include <QStylePainter>

namespace parvolin::widgets {

QColor colorFromColorRef(std::uint32_t colorRef) {
  return QColor(int(colorRef & 0xFF), int((colorRef >> 8) & 0xFF), int((colorRef >> 16) & 0xFF));
}

HoverButton::HoverButton(const QString& text, QWidget* parent)
    : QPushButton(text, parent), normal_(palette().color(QPalette::ButtonText)), hover_(normal_) {
  setAttribute(Qt::WA_Hover);
}

void HoverButton::setTextColors(const QColor& normal, const QColor& hover) {
  normal_ = normal;
  hover_ = hover;
  update();
}

void HoverButton::enterEvent(QEnterEvent* event) {
  hovered_ = true;
  update();
  QPushButton::enterEvent(event);
}

void HoverButton::leaveEvent(QEvent* event) {
  hovered_ = false;
  update();
  QPushButton::leaveEvent(event);
}

void HoverButton::paintEvent(QPaintEvent*) {
  QStylePainter painter(this);
  QStyleOptionButton option;
  initStyleOption(&option);
  painter.drawControl(QStyle::CE_PushButtonBevel, option);
  option.rect = style()->subElementRect(QStyle::SE_PushButtonContents, &option, this);
  if (isDown()) option.rect.translate(1, 1);
  option.palette.setColor(QPalette::ButtonText, textColor());
  painter.drawControl(QStyle::CE_PushButtonLabel, option);
}

}  // namespace parvolin::widgets
