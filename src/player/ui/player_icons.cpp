#include "player/ui/player_icons.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <functional>

namespace parvolin::player::ui::icons {

namespace {

constexpr int kSize = 32;
const QColor kInk(0x20, 0x4a, 0x87);
const QColor kAccent(0xc0, 0x39, 0x2b);

QIcon drawn(const std::function<void(QPainter&)>& draw) {
  QPixmap pixmap(kSize, kSize);
  pixmap.fill(Qt::transparent);
  QPainter p(&pixmap);
  p.setRenderHint(QPainter::Antialiasing);
  draw(p);
  return QIcon(pixmap);
}

// A wave of bars growing by `gain`, for the volume adjustment.
void bars(QPainter& p, double gain) {
  const int heights[] = {6, 12, 8, 16, 10, 5};
  p.setPen(Qt::NoPen);
  p.setBrush(kInk);
  for (int i = 0; i < 6; ++i) {
    const int h = std::min(26, static_cast<int>(heights[i] * gain));
    p.drawRect(3 + 3 * i, 16 - h / 2, 2, h);
  }
}

void digit(QPainter& p, int level) {
  QFont font = p.font();
  font.setBold(true);
  font.setPixelSize(15);
  p.setFont(font);
  p.setPen(kAccent);
  p.drawText(QRect(20, 8, 12, 18), Qt::AlignCenter, QString::number(level));
}

}  // namespace

QIcon program() {
  return drawn([](QPainter& p) {
    p.setPen(Qt::NoPen);
    p.setBrush(kInk);
    p.drawRoundedRect(1, 1, 30, 30, 6, 6);
    p.setBrush(Qt::white);
    QPainterPath triangle;
    triangle.moveTo(11, 8);
    triangle.lineTo(24, 16);
    triangle.lineTo(11, 24);
    triangle.closeSubpath();
    p.drawPath(triangle);
  });
}

QIcon play() {
  return drawn([](QPainter& p) {
    p.setPen(Qt::NoPen);
    p.setBrush(kInk);
    QPainterPath triangle;
    triangle.moveTo(9, 5);
    triangle.lineTo(27, 16);
    triangle.lineTo(9, 27);
    triangle.closeSubpath();
    p.drawPath(triangle);
  });
}

QIcon pause() {
  return drawn([](QPainter& p) {
    p.setPen(Qt::NoPen);
    p.setBrush(kInk);
    p.drawRect(8, 6, 6, 20);
    p.drawRect(18, 6, 6, 20);
  });
}

QIcon stop() {
  return drawn([](QPainter& p) {
    p.setPen(Qt::NoPen);
    p.setBrush(kAccent);
    p.drawRect(7, 7, 18, 18);
  });
}

QIcon saveWav() {
  return drawn([](QPainter& p) {
    p.setPen(QPen(kInk, 2));
    p.setBrush(Qt::white);
    p.drawRect(5, 4, 22, 24);
    p.setBrush(kInk);
    p.drawRect(10, 4, 12, 8);
    QFont font = p.font();
    font.setBold(true);
    font.setPixelSize(9);
    p.setFont(font);
    p.drawText(QRect(5, 15, 22, 12), Qt::AlignCenter, "WAV");
  });
}

QIcon dava(int level) {
  return drawn([level](QPainter& p) {
    bars(p, level == 1 ? 1.0 : 1.5);
    digit(p, level);
  });
}

}  // namespace parvolin::player::ui::icons
