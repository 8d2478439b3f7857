#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "base/prompt.h"

namespace parvolin::app {

// The prompt the recording engine and the window's opening talk to. Between ticks it hands
// everything to the front end's prompt (`now`). During a PollTimer tick a modal message box
// would run a nested event loop, in which the next tick would start inside the unfinished one;
// so there a message is kept and handed to `later` (which shows it without waiting for the
// user) once the tick is over, and a question takes its safe answer, its text kept the same way.
class TickPrompt final : public base::Prompt {
 public:
  TickPrompt(base::Prompt& now, base::Prompt& later) : now_(now), later_(later) {}

  void message(std::string_view text, base::PromptIcon icon) override;
  bool askYesNo(std::string_view text, bool safeAnswer, base::PromptIcon icon) override;
  bool askOkCancel(std::string_view text, bool safeAnswer, base::PromptIcon icon) override;

  void beginTick() { inTick_ = true; }
  // Hands what the tick raised to `later`, in the order raised.
  void endTick();
  bool inTick() const { return inTick_; }

 private:
  struct Kept {
    std::string text;
    base::PromptIcon icon;
  };

  base::Prompt& now_;
  base::Prompt& later_;
  bool inTick_ = false;
  std::vector<Kept> kept_;
};

}  // namespace parvolin::app
