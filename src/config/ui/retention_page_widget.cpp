#include "config/ui/retention_page_widget.h"

#include <QCheckBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>

#include <limits>

namespace parvolin::config::ui {

RetentionPageWidget::RetentionPageWidget(RetentionPage& page, QWidget* parent)
    : QWidget(parent), page_(page) {
  setObjectName("retentionPage");
  auto* layout = new QVBoxLayout(this);
  auto* note = new QLabel(
      tr("The oldest calls are deleted (their list rows and recordings; the call log keeps "
         "them) only as chosen here. A call whose text was edited is never deleted."),
      this);
  note->setWordWrap(true);
  layout->addWidget(note);

  auto* form = new QFormLayout;
  days_ = new QSpinBox(this);
  days_->setObjectName("retentionDays");
  days_->setRange(0, kMaxRetentionDays);
  days_->setSpecialValueText(tr("for ever"));
  days_->setSuffix(tr(" days"));
  form->addRow(tr("Keep calls for:"), days_);
  atLimits_ = new QCheckBox(tr("Delete the oldest calls when a capacity limit is passed"), this);
  atLimits_->setObjectName("retentionAtLimits");
  form->addRow(QString(), atLimits_);
  keepFree_ = new QSpinBox(this);
  keepFree_->setObjectName("keepFreeMb");
  keepFree_->setRange(0, std::numeric_limits<int>::max());
  keepFree_->setSpecialValueText(tr("no margin"));
  keepFree_->setSuffix(tr(" MB"));
  form->addRow(tr("Keep free on the disk:"), keepFree_);
  layout->addLayout(form);
  layout->addStretch();

  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  auto* okButton = new QPushButton(tr("OK"), this);
  auto* cancelButton = new QPushButton(tr("Cancel"), this);
  buttons->addWidget(okButton);
  buttons->addWidget(cancelButton);
  layout->addLayout(buttons);

  const RetentionFields& fields = page_.fields();
  days_->setValue(fields.days);
  atLimits_->setChecked(fields.atLimits);
  keepFree_->setValue(fields.keepFreeMb);
  connect(okButton, &QPushButton::clicked, this, &RetentionPageWidget::ok);
  connect(cancelButton, &QPushButton::clicked, this, &RetentionPageWidget::cancelled);
}

RetentionFields RetentionPageWidget::controls() const {
  return {days_->value(), atLimits_->isChecked(), keepFree_->value()};
}

void RetentionPageWidget::ok() {
  // The spin boxes take only values the page accepts.
  if (!page_.ok(controls())) emit okDone();
}

}  // namespace parvolin::config::ui
