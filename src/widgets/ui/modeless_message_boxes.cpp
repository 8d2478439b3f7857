#include "widgets/ui/modeless_message_boxes.h"

#include <QGuiApplication>
#include <QMessageBox>

#include "widgets/ui/message_box_icon.h"
#include "widgets/ui/qt_text.h"

namespace parvolin::widgets {

ModelessMessageBoxes::ModelessMessageBoxes(QWidget* parent, QString caption)
    : parent_(parent),
      caption_(caption.isEmpty() ? QGuiApplication::applicationDisplayName() : caption) {}

void ModelessMessageBoxes::message(std::string_view text, base::PromptIcon icon) {
  auto* box =
      new QMessageBox(messageBoxIcon(icon), caption_, toQString(text), QMessageBox::Ok, parent_);
  box->setAttribute(Qt::WA_DeleteOnClose);
  box->setWindowModality(Qt::NonModal);
  box->show();
}

bool ModelessMessageBoxes::askYesNo(std::string_view text, bool safeAnswer, base::PromptIcon icon) {
  message(text, icon);
  return safeAnswer;
}

bool ModelessMessageBoxes::askOkCancel(std::string_view text, bool safeAnswer,
                                       base::PromptIcon icon) {
  message(text, icon);
  return safeAnswer;
}

}  // namespace parvolin::widgets
