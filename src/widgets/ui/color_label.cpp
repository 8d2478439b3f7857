#include "widgets/ui/color_label.h"

namespace parvolin::widgets {

ColorLabel::ColorLabel(const QString& text, QWidget* parent) : QLabel(text, parent) {}

void ColorLabel::setTextColor(const QColor& color) {
  QPalette p = palette();
  p.setColor(QPalette::WindowText, color);
  setPalette(p);
}

void ColorLabel::setBackgroundColor(const QColor& color) {
  QPalette p = palette();
  p.setColor(QPalette::Window, color);
  setPalette(p);
  setAutoFillBackground(true);
}

}  // namespace parvolin::widgets
