#include "widgets/ui/message_box_prompt.h"

#include <QGuiApplication>
#include <QMessageBox>

#include "widgets/ui/message_box_icon.h"
#include "widgets/ui/qt_text.h"

namespace parvolin::widgets {

MessageBoxPrompt::MessageBoxPrompt(QWidget* parent, QString caption)
    : parent_(parent),
      caption_(caption.isEmpty() ? QGuiApplication::applicationDisplayName() : caption) {}

int MessageBoxPrompt::show(std::string_view text, base::PromptIcon icon, int buttons,
                           int defaultButton) {
  QMessageBox box(messageBoxIcon(icon), caption_, toQString(text),
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

}  // namespace parvolin::widgets
