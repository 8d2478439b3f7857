#include "config/ui/software_page_widget.h"

#include <QCheckBox>
#include <QFileDialog>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QVBoxLayout>

#include "widgets/ui/qt_text.h"

namespace parvolin::config::ui {
namespace {

// A capacity entry: whole numbers of up to nine figures, which an int always holds; an empty
// entry reads as 0 ("leave the limit").
QLineEdit* numberEntry(QWidget* parent) {
  auto* entry = new QLineEdit(parent);
  entry->setValidator(
      new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]{0,9}")), entry));
  // Room for seven figures at least.
  entry->setMinimumWidth(entry->fontMetrics().horizontalAdvance(QStringLiteral("00000000")));
  return entry;
}

std::int32_t numberOf(const QLineEdit* entry) {
  return entry->text().toInt();  // 0 for an empty entry
}

}  // namespace

std::optional<QString> chooseFolderWithDialog(QWidget* parent, const QString& title,
                                              const QString& start) {
  const QString chosen =
      QFileDialog::getExistingDirectory(parent, title, start, QFileDialog::ShowDirsOnly);
  if (chosen.isEmpty()) return std::nullopt;
  return chosen;
}

SoftwarePageWidget::SoftwarePageWidget(SoftwarePage& page, QWidget* parent)
    : QWidget(parent), page_(page) {
  createControls();
  connectSignals();
  showAll();
}

void SoftwarePageWidget::createControls() {
  auto* format = new QGroupBox("Audio File Format:", this);
  lv_ = new QCheckBox("LV", format);
  wav_ = new QCheckBox("WAV(8bitPCM)", format);
  keepShortCalls_ = new QCheckBox("Save calls less than 8s", format);
  auto* formatRow = new QHBoxLayout(format);
  formatRow->addWidget(lv_);
  formatRow->addWidget(wav_);
  formatRow->addStretch();
  formatRow->addWidget(keepShortCalls_);

  auto* dava =
      new QGroupBox("Audio file Digital Volume adjustment ( Dava for WAV ) Setting:", this);
  davaLevel1_ = new QCheckBox("L1 (Less)", dava);
  davaLevel2_ = new QCheckBox("L2 (Deep)", dava);
  auto* davaRow = new QHBoxLayout(dava);
  davaRow->addWidget(davaLevel1_);
  davaRow->addWidget(davaLevel2_);
  davaRow->addStretch();

  auto* location = new QGroupBox("Location of Recorder Folder \"ZEruFolder\" :", this);
  folder_ = new QLineEdit(location);
  browse_ = new QPushButton("Browse", location);
  browse_->setAutoDefault(false);
  auto* locationRow = new QHBoxLayout(location);
  locationRow->addWidget(folder_, 1);
  locationRow->addWidget(browse_);

  auto* list = new QGroupBox("List File Setting:", this);
  htmlList_ = new QCheckBox("HTML", list);
  htmlName_ = new QLineEdit(list);
  capacityItems_ = numberEntry(list);
  capacitySpace_ = numberEntry(list);
  auto* nameRow = new QHBoxLayout;
  nameRow->addWidget(htmlList_);
  nameRow->addWidget(new QLabel("HTML File Name:", list));
  nameRow->addWidget(htmlName_, 1);
  auto* capacityRow = new QHBoxLayout;
  capacityRow->addWidget(new QLabel("Capacity Items ", list));
  capacityRow->addWidget(capacityItems_, 1);
  capacityRow->addWidget(new QLabel("Capacity Space(MB)", list));
  capacityRow->addWidget(capacitySpace_, 1);
  auto* listColumn = new QVBoxLayout(list);
  listColumn->addLayout(nameRow);
  listColumn->addLayout(capacityRow);

  auto* display = new QGroupBox("List Display:", this);
  autoRefresh_ = new QCheckBox("Auto Refresh", display);
  auto* displayColumn = new QVBoxLayout(display);
  displayColumn->addWidget(autoRefresh_);
  displayColumn->addStretch();

  ok_ = new QPushButton("OK", this);
  ok_->setDefault(true);
  cancel_ = new QPushButton("Cancel", this);
  cancel_->setAutoDefault(false);

  auto* lists = new QHBoxLayout;
  lists->addWidget(list, 1);
  lists->addWidget(display);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  buttons->addWidget(ok_);
  buttons->addWidget(cancel_);
  auto* page = new QVBoxLayout(this);
  page->addWidget(format);
  page->addWidget(dava);
  page->addWidget(location);
  page->addLayout(lists);
  page->addStretch();
  page->addLayout(buttons);
}

void SoftwarePageWidget::connectSignals() {
  const auto onClick = [this](QCheckBox* box, std::function<void()> toggle) {
    connect(box, &QCheckBox::clicked, this, [this, toggle = std::move(toggle)] {
      toggle();
      showCheckBoxes();
    });
  };
  onClick(davaLevel1_, [this] { page_.toggleDavaLevel1(); });
  onClick(davaLevel2_, [this] { page_.toggleDavaLevel2(); });
  onClick(wav_, [this] { page_.toggleWavFormat(); });
  onClick(lv_, [this] { page_.toggleLvFormat(); });
  onClick(htmlList_, [this] { page_.toggleHtmlList(); });
  onClick(keepShortCalls_, [this] { page_.toggleKeepShortCalls(); });
  connect(browse_, &QPushButton::clicked, this, &SoftwarePageWidget::browse);
  connect(ok_, &QPushButton::clicked, this, &SoftwarePageWidget::ok);
  connect(cancel_, &QPushButton::clicked, this, &SoftwarePageWidget::cancelled);
}

void SoftwarePageWidget::showCheckBoxes() {
  const SoftwareFields& f = page_.fields();
  lv_->setChecked(f.lvFormat);
  wav_->setChecked(f.wavFormat);
  keepShortCalls_->setChecked(f.keepShortCalls);
  davaLevel1_->setChecked(f.davaLevel1);
  davaLevel2_->setChecked(f.davaLevel2);
  htmlList_->setChecked(f.htmlList);
}

void SoftwarePageWidget::showAll() {
  const SoftwareFields& f = page_.fields();
  showCheckBoxes();
  autoRefresh_->setChecked(f.autoRefresh);
  folder_->setText(widgets::toQString(f.folder));
  htmlName_->setText(widgets::toQString(f.htmlName));
  capacityItems_->setText(QString::number(f.capacityItems));
  capacitySpace_->setText(QString::number(f.capacitySpaceMb));
}

SoftwareFields SoftwarePageWidget::controls() const {
  SoftwareFields f = page_.fields();
  f.lvFormat = lv_->isChecked();
  f.wavFormat = wav_->isChecked();
  f.keepShortCalls = keepShortCalls_->isChecked();
  f.davaLevel1 = davaLevel1_->isChecked();
  f.davaLevel2 = davaLevel2_->isChecked();
  f.htmlList = htmlList_->isChecked();
  f.autoRefresh = autoRefresh_->isChecked();
  f.folder = folder_->text().toStdString();
  f.htmlName = htmlName_->text().toStdString();
  f.capacityItems = numberOf(capacityItems_);
  f.capacitySpaceMb = numberOf(capacitySpace_);
  return f;
}

void SoftwarePageWidget::browse() {
  const std::optional<QString> chosen = chooseFolder_(this, widgets::toQString(kBrowseTitle),
                                                      widgets::toQString(page_.fields().folder));
  page_.browse(chosen ? std::optional<std::string>(chosen->toStdString()) : std::nullopt);
  folder_->setText(widgets::toQString(page_.fields().folder));
}

void SoftwarePageWidget::ok() {
  page_.ok(controls());
  showAll();
  emit okDone();
}

}  // namespace parvolin::config::ui
