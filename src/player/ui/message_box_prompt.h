#pragma once

#include <QString>
#include <QWidget>

#include "base/prompt.h"

namespace parvolin::player::ui {

// The system's messages as modal message boxes with the program's name as caption.
class MessageBoxPrompt final : public base::Prompt {
 public:
  MessageBoxPrompt(QString caption, QWidget* parent = nullptr)
      : caption_(std::move(caption)), parent_(parent) {}

  void setParent(QWidget* parent) { parent_ = parent; }

  void message(std::string_view text, base::PromptIcon icon) override;
  bool askYesNo(std::string_view text, bool safeAnswer, base::PromptIcon icon) override;
  bool askOkCancel(std::string_view text, bool safeAnswer, base::PromptIcon icon) override;

 private:
  int show(std::string_view text, base::PromptIcon icon, int buttons, int defaultButton);

  QString caption_;
  QWidget* parent_;
};

}  // namespace parvolin::player::ui
