#include "logview/ui/edit_item_dialog.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "logview/list_edits.h"
#include "widgets/ui/dialog_units.h"

namespace parvolin::logview::ui {

using widgets::placeInDialogUnits;

EditItemDialog::EditItemDialog(const EditItemFields& fields, base::Prompt& prompt, QWidget* parent)
    : QDialog(parent), fields_(fields), prompt_(prompt) {
  setWindowTitle("Dialog");
  createControls();
  setFixedSize(widgets::dialogUnitSize(this, 214, 120));
}

void EditItemDialog::createControls() {
  struct Field {
    const char* label;
    QString value;
    bool editable;
  };
  const Field rows[] = {
      {"Phone # / Text", QString::fromStdString(fields_.text), true},
      {"Item #", QString::number(fields_.item), false},
      {"Date/Time", QString::fromStdString(fields_.dateTime), false},
      {"Item Type", QString::fromStdString(fields_.type), false},
      {"Port #", QString::fromStdString(fields_.port), false},
      {"Duration", QString::fromStdString(fields_.duration), false},
  };
  int y = 8;
  for (const Field& row : rows) {
    auto* label = new QLabel(row.label, this);
    placeInDialogUnits(label, 10, y + 2, 52, 10);
    auto* box = new QLineEdit(row.value, this);
    box->setReadOnly(!row.editable);
    placeInDialogUnits(box, 64, y, row.editable ? 140 : 80, 12);
    if (row.editable) {
      text_ = box;
      box->setMaxLength(int(kMaxEditTextChars));
      box->selectAll();  // typing replaces the text, as in a dialog's first box
    }
    y += 15;
  }
  auto* ok = new QPushButton("OK", this);
  ok->setDefault(true);
  placeInDialogUnits(ok, 157, 40, 50, 14);
  auto* cancel = new QPushButton("Cancel", this);
  placeInDialogUnits(cancel, 157, 58, 50, 14);
  connect(ok, &QPushButton::clicked, this, &EditItemDialog::accept);
  connect(cancel, &QPushButton::clicked, this, &EditItemDialog::reject);
}

std::string EditItemDialog::text() const {
  return result() == Accepted ? text_->text().toStdString() : fields_.text;
}

void EditItemDialog::accept() {
  if (const auto problem = editTextProblem(text_->text().toStdString(), fields_.text)) {
    prompt_.message(*problem, base::PromptIcon::Exclamation);
    return;
  }
  QDialog::accept();
}

}  // namespace parvolin::logview::ui
