#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace parvolin::base {

enum class PromptIcon { None, Information, Exclamation, Question, Stop };

// The message boxes the system shows. The window implementation shows a modal box with the
// program's name as caption; the headless one prints the text on standard error and answers a
// question with the safe answer the caller names, never waiting for input.
class Prompt {
 public:
  virtual ~Prompt() = default;

  virtual void message(std::string_view text, PromptIcon icon = PromptIcon::None) = 0;
  // Returns true for Yes. `safeAnswer` is what a prompt that cannot ask answers.
  virtual bool askYesNo(std::string_view text, bool safeAnswer,
                        PromptIcon icon = PromptIcon::Question) = 0;
  // Returns true for OK.
  virtual bool askOkCancel(std::string_view text, bool safeAnswer,
                           PromptIcon icon = PromptIcon::Question) = 0;
};

// Prints every message on standard error; questions take the safe answer.
class StderrPrompt final : public Prompt {
 public:
  void message(std::string_view text, PromptIcon icon) override;
  bool askYesNo(std::string_view text, bool safeAnswer, PromptIcon icon) override;
  bool askOkCancel(std::string_view text, bool safeAnswer, PromptIcon icon) override;
};

// Records every text shown and answers questions from a script (then with the safe answer).
class ScriptedPrompt final : public Prompt {
 public:
  struct Shown {
    std::string text;
    PromptIcon icon;
    bool question;
  };

  void message(std::string_view text, PromptIcon icon) override {
    shown.push_back({std::string(text), icon, false});
  }
  bool askYesNo(std::string_view text, bool safeAnswer, PromptIcon icon) override {
    return answer(text, safeAnswer, icon);
  }
  bool askOkCancel(std::string_view text, bool safeAnswer, PromptIcon icon) override {
    return answer(text, safeAnswer, icon);
  }

  std::vector<Shown> shown;
  std::vector<bool> answers;  // consumed front to back

 private:
  bool answer(std::string_view text, bool safeAnswer, PromptIcon icon) {
    shown.push_back({std::string(text), icon, true});
    if (answers.empty()) return safeAnswer;
    const bool a = answers.front();
    answers.erase(answers.begin());
    return a;
  }
};

}  // namespace parvolin::base
