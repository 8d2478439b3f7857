#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "base/prompt.h"

namespace parvolin::test {

// Records every text shown and answers questions from a script (then with the safe answer).
class ScriptedPrompt final : public base::Prompt {
 public:
  struct Shown {
    std::string text;
    base::PromptIcon icon;
    bool question;
  };

  void message(std::string_view text, base::PromptIcon icon) override {
    shown.push_back({std::string(text), icon, false});
  }
  bool askYesNo(std::string_view text, bool safeAnswer, base::PromptIcon icon) override {
    return answer(text, safeAnswer, icon);
  }
  bool askOkCancel(std::string_view text, bool safeAnswer, base::PromptIcon icon) override {
    return answer(text, safeAnswer, icon);
  }

  std::vector<Shown> shown;
  std::vector<bool> answers;  // consumed front to back

 private:
  bool answer(std::string_view text, bool safeAnswer, base::PromptIcon icon) {
    shown.push_back({std::string(text), icon, true});
    if (answers.empty()) return safeAnswer;
    const bool a = answers.front();
    answers.erase(answers.begin());
    return a;
  }
};

}  // namespace parvolin::test
