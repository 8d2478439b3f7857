#include "player/ui/message_box_prompt.h"

#include <QMessageBox>

namespace parvolin::player::ui {

namespace {

QMessageBox::Icon iconFor(base::PromptIcon icon) {
  switch (icon) {
    case base::PromptIcon::None:
      return QMessageBox::NoIcon;
    case base::PromptIcon::Information:
      return QMessageBox::Information;
    case base::PromptIcon::Exclamation:
      return QMessageBox::Warning;
    case base::PromptIcon::Question:
      return QMessageBox::Question;
    case base::PromptIcon::Stop:
      return QMessageBox::Critical;
  }
  return QMessageBox::NoIcon;
}

}  // namespace

int MessageBoxPrompt::show(std::string_view text, base::PromptIcon icon, int buttons,
                           int defaultButton) {
  QMessageBox box(iconFor(icon), caption_,
                  QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())),
                  QMessageBox::StandardButtons(buttons), parent_);
  box.setDefaultButton(QMessageBox::StandardButton(defaultButton));
  return box.exec();
}

void MessageBoxPrompt::message(std::string_view text, base::PromptIcon icon) {
  show(text, icon, QMessageBox::Ok, QMessageBox::Ok);
}

bool MessageBoxPrompt::askYesNo(std::string_view text, bool safeAnswer, base::PromptIcon icon) {
  return show(text, icon, QMessageBox::Yes | QMessageBox::No,
              safeAnswer ? QMessageBox::Yes : QMessageBox::No) == QMessageBox::Yes;
}

bool MessageBoxPrompt::askOkCancel(std::string_view text, bool safeAnswer, base::PromptIcon icon) {
  return show(text, icon, QMessageBox::Ok | QMessageBox::Cancel,
              safeAnswer ? QMessageBox::Ok : QMessageBox::Cancel) == QMessageBox::Ok;
}

}  // namespace parvolin::player::ui
