#pragma once

#include <QPointer>
#include <QString>
#include <QWidget>

#include "base/prompt.h"

namespace parvolin::widgets {

// The system's message boxes as modal QMessageBoxes over `parent`, with the program's name as
// caption. Questions are always asked, so the safe answer is never needed.
class MessageBoxPrompt final : public base::Prompt {
 public:
  explicit MessageBoxPrompt(QWidget* parent, QString caption = {});

  void message(std::string_view text, base::PromptIcon icon) override;
  bool askYesNo(std::string_view text, bool safeAnswer, base::PromptIcon icon) override;
  bool askOkCancel(std::string_view text, bool safeAnswer, base::PromptIcon icon) override;

 private:
  QPointer<QWidget> parent_;
  QString caption_;
};

}  // namespace parvolin::widgets
