#include "base/prompt.h"

#include <cstdio>

#include "base/program_text.h"

namespace parvolin::base {

void StderrPrompt::message(std::string_view text, PromptIcon) {
  std::fprintf(stderr, "%s\n", printableLines(text).c_str());
}

bool StderrPrompt::askYesNo(std::string_view text, bool safeAnswer, PromptIcon icon) {
  message(text, icon);
  std::fprintf(stderr, "(answered %s)\n", safeAnswer ? "Yes" : "No");
  return safeAnswer;
}

bool StderrPrompt::askOkCancel(std::string_view text, bool safeAnswer, PromptIcon icon) {
  message(text, icon);
  std::fprintf(stderr, "(answered %s)\n", safeAnswer ? "OK" : "Cancel");
  return safeAnswer;
}

}  // namespace parvolin::base
