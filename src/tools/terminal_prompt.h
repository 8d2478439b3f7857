#pragma once

#include <ostream>
#include <string_view>

#include "base/prompt.h"

namespace parvolin::tools {

// The configuration's message boxes on a terminal: every text on `out`; a question is answered
// with its safe answer, which is printed after it.
class TerminalPrompt final : public base::Prompt {
 public:
  explicit TerminalPrompt(std::ostream& out) : out_(out) {}
  void message(std::string_view text, base::PromptIcon) override { out_ << text << '\n'; }
  bool askYesNo(std::string_view text, bool safeAnswer, base::PromptIcon) override {
    out_ << text << "\n(answered " << (safeAnswer ? "Yes" : "No") << ")\n";
    return safeAnswer;
  }
  bool askOkCancel(std::string_view text, bool safeAnswer, base::PromptIcon) override {
    out_ << text << "\n(answered " << (safeAnswer ? "OK" : "Cancel") << ")\n";
    return safeAnswer;
  }

 private:
  std::ostream& out_;
};

}  // namespace parvolin::tools
