#pragma once

#include <QColor>
#include <QPushButton>

#include <cstdint>

namespace parvolin::widgets {

// A Windows colour value 0x00BBGGRR as a QColor.
QColor colorFromColorRef(std::uint32_t colorRef);

// A push button whose text changes colour while the mouse is over it; a pressed button draws
// its text one pixel down and to the right.
class HoverButton : public QPushButton {
  Q_OBJECT

 public:
  explicit HoverButton(const QString& text, QWidget* parent = nullptr);

  void setTextColors(const QColor& normal, const QColor& hover);
  bool isHovered() const { return hovered_; }
  // The colour the text is drawn in now.
  QColor textColor() const { return hovered_ ? hover_ : normal_; }

 protected:
  void enterEvent(QEnterEvent* event) override;
  void leaveEvent(QEvent* event) override;
  void paintEvent(QPaintEvent* event) override;

 private:
  QColor normal_;
  QColor hover_;
  bool hovered_ = false;
};

}  // namespace parvolin::widgets
