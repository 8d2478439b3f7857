#include "app/ui/queued_prompt.h"

#include <QThread>
#include <string>

namespace parvolin::app::ui {

bool QueuedPrompt::onContextThread() const {
  return QThread::currentThread() == context_->thread();
}

void QueuedPrompt::message(std::string_view text, base::PromptIcon icon) {
  if (onContextThread()) {
    target_.message(text, icon);
    return;
  }
  QMetaObject::invokeMethod(
      context_, [&target = target_, kept = std::string(text), icon] { target.message(kept, icon); },
      Qt::QueuedConnection);
}

bool QueuedPrompt::askYesNo(std::string_view text, bool safeAnswer, base::PromptIcon icon) {
  if (onContextThread()) return target_.askYesNo(text, safeAnswer, icon);
  message(text, icon);
  return safeAnswer;
}

bool QueuedPrompt::askOkCancel(std::string_view text, bool safeAnswer, base::PromptIcon icon) {
  if (onContextThread()) return target_.askOkCancel(text, safeAnswer, icon);
  message(text, icon);
  return safeAnswer;
}

}  // namespace parvolin::app::ui
