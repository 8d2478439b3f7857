#include "app/ui/qt_poll_timer.h"

#include <QAbstractEventDispatcher>
#include <QThread>

namespace parvolin::app::ui {

QtPollTimer::QtPollTimer(std::function<void()> onTick) {
  // The periods are short (35 to 65 ms): a coarse timer's 5% would be most of a unit's slack.
  timer_.setTimerType(Qt::PreciseTimer);
  QObject::connect(&timer_, &QTimer::timeout, [onTick = std::move(onTick)] { onTick(); });
}

bool QtPollTimer::start(int periodMs) {
  if (periodMs <= 0 || !QAbstractEventDispatcher::instance(timer_.thread())) return false;
  timer_.start(periodMs);
  return timer_.isActive();
}

}  // namespace parvolin::app::ui
