#pragma once

#include <QMessageBox>

#include "base/prompt.h"

namespace parvolin::widgets {

inline QMessageBox::Icon messageBoxIcon(base::PromptIcon icon) {
  switch (icon) {
    case base::PromptIcon::Information:
      return QMessageBox::Information;
    case base::PromptIcon::Exclamation:
      return QMessageBox::Warning;
    case base::PromptIcon::Question:
      return QMessageBox::Question;
    case base::PromptIcon::Stop:
      return QMessageBox::Critical;
    case base::PromptIcon::None:
      break;
  }
  return QMessageBox::NoIcon;
}

}  // namespace parvolin::widgets
