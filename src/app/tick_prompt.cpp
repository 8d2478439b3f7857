#include "app/tick_prompt.h"

namespace parvolin::app {

void TickPrompt::message(std::string_view text, base::PromptIcon icon) {
  if (inTick_) {
    kept_.push_back({std::string(text), icon});
    return;
  }
  now_.message(text, icon);
}

bool TickPrompt::askYesNo(std::string_view text, bool safeAnswer, base::PromptIcon icon) {
  if (inTick_) {
    kept_.push_back({std::string(text), icon});
    return safeAnswer;
  }
  return now_.askYesNo(text, safeAnswer, icon);
}

bool TickPrompt::askOkCancel(std::string_view text, bool safeAnswer, base::PromptIcon icon) {
  if (inTick_) {
    kept_.push_back({std::string(text), icon});
    return safeAnswer;
  }
  return now_.askOkCancel(text, safeAnswer, icon);
}

void TickPrompt::endTick() {
  inTick_ = false;
  // Taken out first: `later` may be a prompt whose showing lets the next tick run.
  std::vector<Kept> raised;
  raised.swap(kept_);
  for (const Kept& k : raised) later_.message(k.text, k.icon);
}

}  // namespace parvolin::app
