#pragma once

#include <QColor>
#include <QLabel>

namespace parvolin::widgets {

// A static text with its own text colour, background colour and font (the file manager's
// section headings).
class ColorLabel : public QLabel {
  Q_OBJECT

 public:
  explicit ColorLabel(const QString& text, QWidget* parent = nullptr);

  void setTextColor(const QColor& color);
  void setBackgroundColor(const QColor& color);
  QColor textColor() const { return palette().color(QPalette::WindowText); }
};

}  // namespace parvolin::widgets
