#include "widgets/ui/message_box_prompt.h"

#include <QGuiApplication>
#include <QMessageBox>

namespace parvolin::widgets {
namespace {

QMessageBox::Icon iconOf(base::PromptIcon icon) {
  switch (icon) {
    case base::PromptIcon::Information:
      return QMessageBox::Information;
    case base::PromptIcon::Exclamation:
      return QMessageBox::Warning;
    case base::PromptIcon::Question:
      return QMessageBox::Question;
    case base::PromptIcon::Stop:
      return QMessageBox::Critical;
    case base::PromptIcon::None:
      break;
  }
  return QMessageBox::NoIcon;
}

}  // namespace

MessageBoxPrompt::MessageBoxPrompt(QWidget* parent, QString caption)
    : parent_(parent),
      caption_(caption.isEmpty() ? QGuiApplication::applicationDisplayName() : caption) {}

void MessageBoxPrompt::message(std::string_view text, base::PromptIcon icon) {
  QMessageBox box(iconOf(icon), caption_, QString::fromUtf8(text.data(), qsizetype(text.size())),
                  QMessageBox::Ok, parent_);
  box.exec();
}

bool MessageBoxPrompt::askYesNo(std::string_view text, bool, base::PromptIcon icon) {
  QMessageBox box(iconOf(icon), caption_, QString::fromUtf8(text.data(), qsizetype(text.size())),
                  QMessageBox::Yes | QMessageBox::No, parent_);
  return box.exec() == QMessageBox::Yes;
}

bool MessageBoxPrompt::askOkCancel(std::string_view text, bool, base::PromptIcon icon) {
  QMessageBox box(iconOf(icon), caption_, QString::fromUtf8(text.data(), qsizetype(text.size())),
                  QMessageBox::Ok | QMessageBox::Cancel, parent_);
  return box.exec() == QMessageBox::Ok;
}

}  // namespace parvolin::widgets
