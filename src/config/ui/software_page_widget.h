#pragma once

#include <QString>
#include <QWidget>

#include <functional>
#include <optional>

#include "config/software_page.h"

class QCheckBox;
class QLineEdit;
class QPushButton;

namespace parvolin::config::ui {

// Asks the user for a folder: a dialog over `parent` with `title`, starting at `start`. Nothing
// when the user cancelled.
using FolderChooser = std::function<std::optional<QString>(QWidget* parent, const QString& title,
                                                           const QString& start)>;
// The desktop's folder dialog, showing folders only.
std::optional<QString> chooseFolderWithDialog(QWidget* parent, const QString& title,
                                              const QString& start);

// The software settings page: binds the page's values to its controls and passes every click to
// the page. "OK" and "Cancel" end the whole configuration dialog (the signals below).
class SoftwarePageWidget : public QWidget {
  Q_OBJECT

 public:
  // `page` outlives the widget.
  explicit SoftwarePageWidget(SoftwarePage& page, QWidget* parent = nullptr);

  void setFolderChooser(FolderChooser chooser) { chooseFolder_ = std::move(chooser); }
  // What the controls hold now.
  SoftwareFields controls() const;

  // For tests.
  QLineEdit* folderEdit() const { return folder_; }
  QLineEdit* htmlNameEdit() const { return htmlName_; }
  QLineEdit* capacityItemsEdit() const { return capacityItems_; }
  QLineEdit* capacitySpaceEdit() const { return capacitySpace_; }

 signals:
  void okDone();
  void cancelled();

 private:
  void createControls();
  void connectSignals();
  // Shows the page's values: every control, or only the check boxes (a toggle keeps what was
  // typed into the entries).
  void showAll();
  void showCheckBoxes();
  void browse();
  void ok();

  SoftwarePage& page_;
  FolderChooser chooseFolder_ = chooseFolderWithDialog;
  QCheckBox* lv_ = nullptr;
  QCheckBox* wav_ = nullptr;
  QCheckBox* keepShortCalls_ = nullptr;
  QCheckBox* davaLevel1_ = nullptr;
  QCheckBox* davaLevel2_ = nullptr;
  QCheckBox* htmlList_ = nullptr;
  QCheckBox* autoRefresh_ = nullptr;
  QLineEdit* folder_ = nullptr;
  QLineEdit* htmlName_ = nullptr;
  QLineEdit* capacityItems_ = nullptr;
  QLineEdit* capacitySpace_ = nullptr;
  QPushButton* browse_ = nullptr;
  QPushButton* ok_ = nullptr;
  QPushButton* cancel_ = nullptr;
};

}  // namespace parvolin::config::ui
