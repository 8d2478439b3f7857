#pragma once

#include <QPointer>
#include <QString>
#include <QWidget>

#include "base/prompt.h"

namespace parvolin::widgets {

// Message boxes that are shown and left to the user: the call returns at once, without an event
// loop of its own, and each box goes when its OK is pressed. For messages raised where waiting
// for the user is not allowed (inside a poll tick). Questions cannot be asked this way: they
// take the safe answer and are shown as messages.
class ModelessMessageBoxes final : public base::Prompt {
 public:
  explicit ModelessMessageBoxes(QWidget* parent, QString caption = {});

  void message(std::string_view text, base::PromptIcon icon) override;
  bool askYesNo(std::string_view text, bool safeAnswer, base::PromptIcon icon) override;
  bool askOkCancel(std::string_view text, bool safeAnswer, base::PromptIcon icon) override;

 private:
  QPointer<QWidget> parent_;
  QString caption_;
};

}  // namespace parvolin::widgets
