#pragma once

#include <QDialog>
#include <QSpinBox>
#include <QTimer>

#include <memory>

#include "base/prompt.h"
#include "logview/file_manager_session.h"

class QLineEdit;
class QProgressDialog;
class QThread;

namespace parvolin::widgets {
class ColorLabel;
class HoverButton;
}  // namespace parvolin::widgets

namespace parvolin::logview::ui {

// A number box whose arrows do not clamp to a range of their own: each step is handed to the
// dialog, which applies the file manager's spinner rules.
class StepSpinBox : public QSpinBox {
  Q_OBJECT

 public:
  explicit StepSpinBox(QWidget* parent = nullptr);
  void stepBy(int steps) override;

 signals:
  void stepped(int steps);

 protected:
  StepEnabled stepEnabled() const override { return StepUpEnabled | StepDownEnabled; }
};

// The file manager: search, edit, delete and batch conversion over the list's working copies.
// Opening it sets the working files up; each operation ends it, as does "Exit". A batch
// conversion runs on a thread of its own, so that the window (and the recorder's polling on the
// same thread) goes on while it converts; its progress box can cancel it.
class FileManagerDialog : public QDialog {
  Q_OBJECT

 public:
  // `edits` and `prompt` must outlive the dialog; `davaLevel` is the batch conversion's.
  FileManagerDialog(const ListFiles& files, int davaLevel, ListEditSubmitter& edits,
                    base::Prompt& prompt, QWidget* parent = nullptr);
  ~FileManagerDialog() override;

  // "Exit", Escape and the close box: the earlier result comes back. During a batch conversion
  // they cancel it, and the file manager ends when it has stopped.
  void reject() override;

  // Whether a batch conversion is running.
  bool converting() const { return batch_ != nullptr; }

  // The fields as the controls hold them.
  SearchFields searchFields() const;
  ItemFields itemFields() const;
  int latestItem() const { return session_.latestItem(); }

  QLineEdit* searchBox() const { return searchText_; }
  StepSpinBox* itemBox() const { return item_; }
  StepSpinBox* rangeEndBox() const { return rangeEnd_; }

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  void createControls();
  void styleControls();
  void connectSignals();
  void setItemFields(const ItemFields& fields);
  void finish(Outcome outcome);
  void startSearch();
  void editText();
  void startBatch();
  void showBatchProgress();
  void endBatch();

  FileManagerSession session_;
  int davaLevel_;
  base::Prompt& prompt_;

  widgets::ColorLabel* searchHeading_ = nullptr;
  widgets::ColorLabel* editHeading_ = nullptr;
  QLineEdit* searchText_ = nullptr;
  QSpinBox* fromMonth_ = nullptr;
  QSpinBox* fromDay_ = nullptr;
  QSpinBox* fromYear_ = nullptr;
  QSpinBox* toMonth_ = nullptr;
  QSpinBox* toDay_ = nullptr;
  QSpinBox* toYear_ = nullptr;
  StepSpinBox* item_ = nullptr;
  StepSpinBox* rangeEnd_ = nullptr;
  widgets::HoverButton* searchButton_ = nullptr;
  widgets::HoverButton* editButton_ = nullptr;
  widgets::HoverButton* deleteItemButton_ = nullptr;
  widgets::HoverButton* deleteRangeButton_ = nullptr;
  widgets::HoverButton* batchButton_ = nullptr;
  widgets::HoverButton* deleteAllButton_ = nullptr;
  widgets::HoverButton* helpButton_ = nullptr;
  widgets::HoverButton* exitButton_ = nullptr;
  // A batch conversion's state, shared with the thread that converts.
  struct BatchState;
  std::shared_ptr<BatchState> batch_;
  std::unique_ptr<QThread> batchThread_;
  QTimer batchTimer_;  // shows the batch's progress
  std::unique_ptr<QProgressDialog> progress_;
  bool ended_ = false;  // an operation or Exit ended the session
};

}  // namespace parvolin::logview::ui
