#pragma once

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QString>
#include <QWidget>

namespace parvolin::test {

// The button (push button, check box, hover button) of `window` that shows `caption`, as a user
// finds it. Fails the test unless exactly one does.
template <class Button = QAbstractButton>
Button* buttonCaptioned(const QWidget& window, const QString& caption) {
  Button* found = nullptr;
  int count = 0;
  for (Button* button : window.findChildren<Button*>()) {
    if (button->text() != caption) continue;
    found = button;
    ++count;
  }
  if (count != 1) {
    ADD_FAILURE() << count << " buttons show \"" << caption.toStdString() << "\"";
  }
  return found;
}

}  // namespace parvolin::test
