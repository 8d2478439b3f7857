#pragma once

#include <QDialog>

#include "base/prompt.h"
#include "logview/file_manager_session.h"

class QLineEdit;

namespace parvolin::logview::ui {

// "Edit/Add Text": shows a call and lets the user change its text (at most 40 characters).
// OK with a text that would break the list is refused with a message and the dialog stays.
class EditItemDialog : public QDialog {
  Q_OBJECT

 public:
  EditItemDialog(const EditItemFields& fields, base::Prompt& prompt, QWidget* parent = nullptr);

  // The text the dialog holds: the call's own text after Cancel.
  std::string text() const;
  QLineEdit* textBox() const { return text_; }

  void accept() override;

 private:
  void createControls();

  EditItemFields fields_;
  base::Prompt& prompt_;
  QLineEdit* text_ = nullptr;
};

}  // namespace parvolin::logview::ui
