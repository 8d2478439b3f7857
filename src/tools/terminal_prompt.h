#pragma once

#include <ostream>
#include <string_view>

#include "base/diagnostics.h"
#include "base/program_text.h"
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

// The recorder's messages as its headless run shows them (base::StderrPrompt), on `err`: texts
// from files escaped, a question answered with its safe answer.
class StreamPrompt final : public base::Prompt {
 public:
  explicit StreamPrompt(std::ostream& err) : err_(err) {}
  void message(std::string_view text, base::PromptIcon) override {
    err_ << base::printableLines(text) << '\n';
  }
  bool askYesNo(std::string_view text, bool safeAnswer, base::PromptIcon icon) override {
    message(text, icon);
    err_ << "(answered " << (safeAnswer ? "Yes" : "No") << ")\n";
    return safeAnswer;
  }
  bool askOkCancel(std::string_view text, bool safeAnswer, base::PromptIcon icon) override {
    message(text, icon);
    err_ << "(answered " << (safeAnswer ? "OK" : "Cancel") << ")\n";
    return safeAnswer;
  }

 private:
  std::ostream& err_;
};

// The engine's diagnostics as the headless recorder reports them (base::StderrDiagnostics), on
// `err`.
class StreamDiagnostics final : public base::Diagnostics {
 public:
  explicit StreamDiagnostics(std::ostream& err) : err_(err) {}
  void report(std::string_view text) override {
    err_ << "parvolin: " << base::printableLines(text) << '\n';
  }

 private:
  std::ostream& err_;
};

}  // namespace parvolin::tools
