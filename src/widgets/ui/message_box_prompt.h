#pragma once

#include <QPointer>
#include <QString>
#include <QWidget>

#include "base/prompt.h"

namespace parvolin::widgets {

// The system's message boxes as modal QMessageBoxes over `parent`, with the program's name as
// caption (the application's display name unless given). Questions are always asked; the safe
// answer is the button that Enter presses.
class MessageBoxPrompt final : public base::Prompt {
 public:
  explicit MessageBoxPrompt(QWidget* parent, QString caption = {});

  void setParent(QWidget* parent) { parent_ = parent; }

  void message(std::string_view text, base::PromptIcon icon) override;
  bool askYesNo(std::string_view text, bool safeAnswer, base::PromptIcon icon) override;
  bool askOkCancel(std::string_view text, bool safeAnswer, base::PromptIcon icon) override;

 private:
  int show(std::string_view text, base::PromptIcon icon, int buttons, int defaultButton);

  QPointer<QWidget> parent_;
  QString caption_;
};

}  // namespace parvolin::widgets
