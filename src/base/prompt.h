#pragma once

#include <string_view>

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

}  // namespace parvolin::base
