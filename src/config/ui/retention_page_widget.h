#pragma once

#include <QWidget>

#include "config/retention_page.h"

class QCheckBox;
class QSpinBox;

namespace parvolin::config::ui {

// The "Retention" tab: the days calls are kept, the deletes at the capacity limits and the free
// space kept on the disk. "OK" stores what changed and ends the dialog; "Cancel" ends it.
class RetentionPageWidget : public QWidget {
  Q_OBJECT

 public:
  explicit RetentionPageWidget(RetentionPage& page, QWidget* parent = nullptr);

  RetentionFields controls() const;
  // As the "OK" button: stores the fields, then emits okDone.
  void ok();

 signals:
  void okDone();
  void cancelled();

 private:
  RetentionPage& page_;
  QSpinBox* days_ = nullptr;
  QCheckBox* atLimits_ = nullptr;
  QSpinBox* keepFree_ = nullptr;
};

}  // namespace parvolin::config::ui
