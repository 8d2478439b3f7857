#pragma once

#include <QObject>

#include "base/prompt.h"

namespace parvolin::app::ui {

// A prompt that other threads may use: on the thread of `context` (the window's) it is `target`
// itself; from any other thread (the recorder's) a message is queued to the window's thread,
// where `target` shows it once that thread's event loop runs, and the caller goes on at once. A
// question asked from another thread is shown as a message and takes its safe answer. Queued
// messages for a context that is gone are dropped.
class QueuedPrompt final : public base::Prompt {
 public:
  QueuedPrompt(base::Prompt& target, QObject* context) : target_(target), context_(context) {}

  void message(std::string_view text, base::PromptIcon icon) override;
  bool askYesNo(std::string_view text, bool safeAnswer, base::PromptIcon icon) override;
  bool askOkCancel(std::string_view text, bool safeAnswer, base::PromptIcon icon) override;

 private:
  bool onContextThread() const;

  base::Prompt& target_;
  QObject* context_;
};

}  // namespace parvolin::app::ui
