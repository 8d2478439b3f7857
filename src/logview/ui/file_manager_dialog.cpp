#include "logview/ui/file_manager_dialog.h"

#include <QApplication>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QProgressDialog>
#include <QStyle>
#include <QThread>

#include <atomic>
#include <climits>
#include <ctime>
#include <mutex>

#include "logview/ui/edit_item_dialog.h"
#include "logview/ui/logview_colors.h"
#include "widgets/ui/color_label.h"
#include "widgets/ui/dialog_units.h"
#include "widgets/ui/hover_button.h"
#include "widgets/ui/qt_text.h"

namespace parvolin::logview::ui {

using widgets::colorFromColorRef;
using widgets::ColorLabel;
using widgets::HoverButton;
using widgets::placeInDialogUnits;

QIcon returnIcon(const QWidget* widget) {
  const QIcon own = QApplication::windowIcon();
  return own.isNull() ? widget->style()->standardIcon(QStyle::SP_ArrowBack) : own;
}

StepSpinBox::StepSpinBox(QWidget* parent) : QSpinBox(parent) {
  setRange(INT_MIN, INT_MAX);
}

void StepSpinBox::stepBy(int steps) {
  emit stepped(steps);
}

namespace {

// A date box: a number without arrows, any integer allowed.
QSpinBox* numberBox(QWidget* parent, int value) {
  auto* box = new QSpinBox(parent);
  box->setButtonSymbols(QAbstractSpinBox::NoButtons);
  box->setRange(-99999, 99999);
  box->setValue(value);
  return box;
}

}  // namespace

FileManagerDialog::FileManagerDialog(const ListFiles& files, int davaLevel,
                                     ListEditSubmitter& edits, base::Prompt& prompt,
                                     QWidget* parent)
    : QDialog(parent), session_(files, edits, prompt), davaLevel_(davaLevel), prompt_(prompt) {
  setWindowTitle("File Manager");
  createControls();
  connectSignals();
  setFixedSize(widgets::dialogUnitSize(this, 269, 214));
}

struct FileManagerDialog::BatchState {
  std::mutex mutex;
  std::size_t done = 0;
  std::size_t total = 0;
  std::string name;
  bool started = false;
  std::atomic<bool> cancel{false};
  BatchResult result;  // read once the thread has finished
};

FileManagerDialog::~FileManagerDialog() {
  if (batchThread_) {
    batch_->cancel = true;
    batchThread_->wait();
  }
  // Closed from outside without an operation: leave the files as Exit does.
  if (!ended_) session_.exit();
}

void FileManagerDialog::createControls() {
  const SearchFields today = SearchFields::today(std::time(nullptr));

  auto* searchBoxFrame = new QFrame(this);
  searchBoxFrame->setFrameShape(QFrame::StyledPanel);
  placeInDialogUnits(searchBoxFrame, 5, 4, 259, 70);
  searchHeading_ = new ColorLabel("SEARCH --- Date/Phone#/Text Search :", this);
  placeInDialogUnits(searchHeading_, 10, 8, 200, 10);
  auto* textLabel = new QLabel("Phone # Or Text", this);
  placeInDialogUnits(textLabel, 10, 26, 62, 10);
  searchText_ = new QLineEdit(this);
  // Further right than the 55 units of the original layout, so that the label fits.
  placeInDialogUnits(searchText_, 72, 24, 125, 12);
  searchButton_ = new HoverButton("Start Search", this);
  searchButton_->setDefault(true);
  placeInDialogUnits(searchButton_, 203, 22, 56, 16);

  auto* rangeLabel = new QLabel("Date Range", this);
  placeInDialogUnits(rangeLabel, 10, 42, 60, 10);
  auto* fromLabel = new QLabel("From:", this);
  placeInDialogUnits(fromLabel, 10, 56, 20, 10);
  struct DateBox {
    QSpinBox** box;
    int value;
    const char* label;
    int x;
  };
  const DateBox dates[] = {
      {&fromMonth_, today.fromMonth, "MM", 32},
      {&fromDay_, today.fromDay, "DD", 62},
      {&fromYear_, today.fromYear, "YY   To:", 92},
      {&toMonth_, today.toMonth, "MM", 140},
      {&toDay_, today.toDay, "DD", 170},
      {&toYear_, today.toYear, "YY", 200},
  };
  for (const DateBox& d : dates) {
    *d.box = numberBox(this, d.value);
    placeInDialogUnits(*d.box, d.x, 54, 17, 12);
    auto* label = new QLabel(d.label, this);
    placeInDialogUnits(label, d.x + 19, 56, d.x == 92 ? 28 : 12, 10);
  }

  auto* editBoxFrame = new QFrame(this);
  editBoxFrame->setFrameShape(QFrame::StyledPanel);
  placeInDialogUnits(editBoxFrame, 5, 80, 259, 66);
  editHeading_ = new ColorLabel(
      "EDIT / DELETE--- Input an Item for edit/delete,or Range for Batch Delete:", this);
  placeInDialogUnits(editHeading_, 10, 84, 250, 10);
  editButton_ = new HoverButton("Edit/Add Text", this);
  placeInDialogUnits(editButton_, 10, 100, 70, 16);
  deleteItemButton_ = new HoverButton("Delete Item", this);
  placeInDialogUnits(deleteItemButton_, 86, 100, 70, 16);
  auto* itemLabel = new QLabel("Item #", this);
  placeInDialogUnits(itemLabel, 166, 103, 26, 10);
  item_ = new StepSpinBox(this);
  placeInDialogUnits(item_, 194, 101, 60, 14);
  deleteRangeButton_ = new HoverButton("Delete Range To:", this);
  placeInDialogUnits(deleteRangeButton_, 86, 122, 70, 16);
  rangeEnd_ = new StepSpinBox(this);
  placeInDialogUnits(rangeEnd_, 194, 123, 60, 14);
  setItemFields({session_.latestItem(), session_.latestItem()});

  batchButton_ = new HoverButton("Batch Wave Conversion", this);
  placeInDialogUnits(batchButton_, 10, 156, 120, 18);
  deleteAllButton_ = new HoverButton("Batch Delete All", this);
  placeInDialogUnits(deleteAllButton_, 139, 156, 120, 18);
  helpButton_ = new HoverButton("Help", this);
  placeInDialogUnits(helpButton_, 10, 188, 60, 18);
  exitButton_ = new HoverButton("Exit", this);
  placeInDialogUnits(exitButton_, 199, 188, 60, 18);
  exitButton_->setIcon(returnIcon(this));
  for (HoverButton* b : findChildren<HoverButton*>()) b->setAutoDefault(false);
  searchButton_->setDefault(true);
}

void FileManagerDialog::styleControls() {
  for (HoverButton* calm : {searchButton_, editButton_, helpButton_, exitButton_, batchButton_}) {
    calm->setTextColors(colorFromColorRef(kBlueText), colorFromColorRef(kGreenText));
  }
  for (HoverButton* harmful : {deleteItemButton_, deleteAllButton_, deleteRangeButton_}) {
    harmful->setTextColors(colorFromColorRef(kDarkRedText), colorFromColorRef(kRedText));
  }
  for (ColorLabel* heading : {searchHeading_, editHeading_}) {
    heading->setTextColor(colorFromColorRef(kBlueText));
  }
}

void FileManagerDialog::connectSignals() {
  connect(searchButton_, &QPushButton::clicked, this, &FileManagerDialog::startSearch);
  connect(editButton_, &QPushButton::clicked, this, &FileManagerDialog::editText);
  connect(helpButton_, &QPushButton::clicked, this, [this] { session_.showHelp(); });
  connect(exitButton_, &QPushButton::clicked, this, &FileManagerDialog::reject);
  connect(deleteItemButton_, &QPushButton::clicked, this,
          [this] { finish(session_.deleteItem(itemFields().item)); });
  connect(deleteRangeButton_, &QPushButton::clicked, this, [this] {
    const ItemFields f = itemFields();
    finish(session_.deleteRange(f.item, f.rangeEnd));
  });
  connect(deleteAllButton_, &QPushButton::clicked, this, [this] { finish(session_.deleteAll()); });
  connect(batchButton_, &QPushButton::clicked, this, &FileManagerDialog::startBatch);
  connect(&batchTimer_, &QTimer::timeout, this, &FileManagerDialog::showBatchProgress);
  connect(item_, &StepSpinBox::stepped, this, [this](int steps) {
    setItemFields(stepItem(itemFields(), steps, session_.latestItem()));
  });
  connect(rangeEnd_, &StepSpinBox::stepped, this,
          [this](int steps) { setItemFields(stepRangeEnd(itemFields(), steps)); });
}

void FileManagerDialog::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  styleControls();
}

SearchFields FileManagerDialog::searchFields() const {
  SearchFields f;
  f.text = searchText_->text().toStdString();
  f.fromYear = fromYear_->value();
  f.fromMonth = fromMonth_->value();
  f.fromDay = fromDay_->value();
  f.toYear = toYear_->value();
  f.toMonth = toMonth_->value();
  f.toDay = toDay_->value();
  return f;
}

ItemFields FileManagerDialog::itemFields() const {
  return {item_->value(), rangeEnd_->value()};
}

void FileManagerDialog::setItemFields(const ItemFields& fields) {
  item_->setValue(fields.item);
  rangeEnd_->setValue(fields.rangeEnd);
}

void FileManagerDialog::finish(Outcome outcome) {
  progress_.reset();
  if (outcome != Outcome::kClosed) return;
  ended_ = true;
  QDialog::accept();
}

void FileManagerDialog::startSearch() {
  finish(session_.search(searchFields()));
}

void FileManagerDialog::editText() {
  finish(session_.editItem(itemFields().item,
                           [this](const EditItemFields& fields) -> std::optional<std::string> {
                             EditItemDialog dialog(fields, prompt_, this);
                             if (dialog.exec() != QDialog::Accepted) return std::nullopt;
                             return dialog.text();
                           }));
}

void FileManagerDialog::startBatch() {
  if (batch_) return;
  std::optional<BatchJob> job = session_.prepareBatch(davaLevel_);
  if (!job) {
    finish(Outcome::kClosed);
    return;
  }
  batch_ = std::make_shared<BatchState>();
  for (HoverButton* b : findChildren<HoverButton*>()) b->setEnabled(false);
  progress_ = std::make_unique<QProgressDialog>("Converting the calls to WAV files...", "Cancel", 0,
                                                1, this);
  progress_->setWindowTitle(windowTitle());
  progress_->setWindowModality(Qt::WindowModal);
  progress_->setMinimumDuration(300);
  progress_->setAutoClose(false);
  progress_->setAutoReset(false);
  progress_->setValue(0);
  connect(progress_.get(), &QProgressDialog::canceled, this, [this] { batch_->cancel = true; });

  batchThread_.reset(QThread::create([state = batch_, job = std::move(*job)] {
    state->result =
        runBatch(job, [&state](std::size_t done, std::size_t total, std::string_view name) {
          std::lock_guard lock(state->mutex);
          state->done = done;
          state->total = total;
          state->name = name;
          state->started = true;
          return !state->cancel;
        });
  }));
  connect(batchThread_.get(), &QThread::finished, this, &FileManagerDialog::endBatch);
  batchThread_->start();
  batchTimer_.start(50);
}

void FileManagerDialog::showBatchProgress() {
  if (!batch_ || !progress_) return;
  if (progress_->wasCanceled()) batch_->cancel = true;
  std::size_t done = 0;
  std::size_t total = 0;
  std::string name;
  {
    std::lock_guard lock(batch_->mutex);
    if (!batch_->started) return;
    done = batch_->done;
    total = batch_->total;
    name = batch_->name;
  }
  if (batch_->cancel) return;
  progress_->setMaximum(int(total));
  progress_->setLabelText(QString("Converting call %1 of %2:\n%3")
                              .arg(done + 1 > total ? total : done + 1)
                              .arg(total)
                              .arg(widgets::toQString(name)));
  progress_->setValue(int(done));
}

void FileManagerDialog::endBatch() {
  batchTimer_.stop();
  batchThread_->wait();
  const BatchResult result = std::move(batch_->result);
  batchThread_.reset();
  batch_.reset();
  progress_.reset();
  for (HoverButton* b : findChildren<HoverButton*>()) b->setEnabled(true);
  finish(session_.finishBatch(result));
}

void FileManagerDialog::reject() {
  if (batch_) {
    batch_->cancel = true;  // the batch ends the file manager once it has stopped
    return;
  }
  if (ended_) return;
  ended_ = true;
  session_.exit();
  QDialog::reject();
}

}  // namespace parvolin::logview::ui
