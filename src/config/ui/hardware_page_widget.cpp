#include "config/ui/hardware_page_widget.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "widgets/ui/qt_text.h"

namespace parvolin::config::ui {
namespace {

QPushButton* toggleButton(const QString& text, QWidget* parent) {
  auto* button = new QPushButton(text, parent);
  button->setCheckable(true);
  button->setAutoDefault(false);
  return button;
}

QComboBox* entryList(const std::array<std::string_view, 4>& entries, QWidget* parent) {
  auto* list = new QComboBox(parent);
  for (std::string_view entry : entries) list->addItem(widgets::toQString(entry));
  return list;
}

// A list in a group box of its own, as the VAR settings are shown.
QGroupBox* titled(const QString& title, QWidget* content, QWidget* parent) {
  auto* box = new QGroupBox(title, parent);
  content->setParent(box);
  auto* column = new QVBoxLayout(box);
  column->addWidget(content);
  return box;
}

// "Write\n\nHardware": a caption of three lines, the middle one empty.
QPushButton* captionButton(const QString& caption, QWidget* parent) {
  auto* button = new QPushButton(caption, parent);
  button->setAutoDefault(false);
  button->setMinimumHeight(button->fontMetrics().lineSpacing() * 4);
  button->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Expanding);
  return button;
}

}  // namespace

HardwarePageWidget::HardwarePageWidget(HardwarePage& page, QWidget* parent)
    : QWidget(parent), page_(page) {
  createControls();
  showFields(page_.fields());
  write_->setEnabled(page_.writeEnabled());
  connect(write_, &QPushButton::clicked, this, &HardwarePageWidget::writeHardware);
  connect(exit_, &QPushButton::clicked, this, &HardwarePageWidget::exitRequested);
}

void HardwarePageWidget::createControls() {
  auto* var = new QGroupBox("Set channels to VAR mode instead of voltage sensing mode", this);
  auto* ports = new QHBoxLayout;
  for (int port = 0; port < device::kPortsPerUnit; ++port) {
    varPort_[std::size_t(port)] =
        toggleButton(widgets::toQString(portLabel(page_.unit(), port)), var);
    ports->addWidget(varPort_[std::size_t(port)]);
  }
  threshold_ = entryList(kVarThresholdEntries, var);
  turnOffDelay_ = entryList(kVarTurnOffDelayEntries, var);
  timeout_ = entryList(kVarTimeoutEntries, var);
  auto* lists = new QHBoxLayout;
  lists->addWidget(titled("VAR Voltage Threshold", threshold_, var));
  lists->addWidget(titled("VAR Turn Off Delay", turnOffDelay_, var));
  lists->addWidget(titled("VAR TimeOut", timeout_, var));
  auto* varColumn = new QVBoxLayout(var);
  varColumn->addLayout(ports);
  varColumn->addLayout(lists);

  auto* callerId = new QGroupBox("Caller ID Detection Settings", this);
  preRingDtmf_ = toggleButton(widgets::toQString(kPreRingDtmfText), callerId);
  preRingFsk_ = toggleButton(widgets::toQString(kPreRingFskText), callerId);
  forcedFsk_ = new QCheckBox(widgets::toQString(kForcedFskText), callerId);
  auto* callerIdRow = new QHBoxLayout(callerId);
  callerIdRow->addWidget(preRingDtmf_);
  callerIdRow->addWidget(preRingFsk_);
  callerIdRow->addWidget(forcedFsk_);
  callerIdRow->addStretch();

  auto* mode = new QGroupBox("Select the hardware audio mode:", this);
  audioMode_ = entryList(kAudioModeEntries, mode);
  auto* modeColumn = new QVBoxLayout(mode);
  modeColumn->addWidget(audioMode_);

  auto* id = new QGroupBox("Orvane device ID:", this);
  deviceId_ = new QLineEdit(id);
  deviceId_->setReadOnly(true);
  auto* idColumn = new QVBoxLayout(id);
  idColumn->addWidget(deviceId_);

  write_ = captionButton("Write\n\nHardware", this);
  write_->setEnabled(false);
  exit_ = captionButton("Exit\n\nSettings", this);

  auto* bottom = new QGridLayout;
  bottom->addWidget(mode, 0, 0);
  bottom->addWidget(id, 1, 0);
  bottom->addWidget(write_, 0, 1, 2, 1);
  bottom->addWidget(exit_, 0, 2, 2, 1);
  bottom->setColumnStretch(0, 1);
  auto* page = new QVBoxLayout(this);
  page->addWidget(var);
  page->addWidget(callerId);
  page->addLayout(bottom);
  page->addStretch();
}

void HardwarePageWidget::showFields(const HardwareFields& f) {
  for (int port = 0; port < device::kPortsPerUnit; ++port) {
    varPort_[std::size_t(port)]->setChecked(f.varPort[std::size_t(port)]);
  }
  threshold_->setCurrentIndex(f.varThreshold);
  turnOffDelay_->setCurrentIndex(f.varTurnOffDelay);
  timeout_->setCurrentIndex(f.varTimeout);
  preRingDtmf_->setChecked(f.preRingDtmf);
  preRingFsk_->setChecked(f.preRingFsk);
  forcedFsk_->setChecked(f.forcedFskBetweenRings);
  audioMode_->setCurrentIndex(f.audioMode >= 0 && f.audioMode < audioMode_->count() ? f.audioMode
                                                                                    : kNoSelection);
  deviceId_->setText(widgets::toQString(f.deviceId));
}

HardwareFields HardwarePageWidget::controls() const {
  HardwareFields f = page_.fields();
  for (int port = 0; port < device::kPortsPerUnit; ++port) {
    f.varPort[std::size_t(port)] = varPort_[std::size_t(port)]->isChecked();
  }
  f.varThreshold = threshold_->currentIndex();
  f.varTurnOffDelay = turnOffDelay_->currentIndex();
  f.varTimeout = timeout_->currentIndex();
  f.preRingDtmf = preRingDtmf_->isChecked();
  f.preRingFsk = preRingFsk_->isChecked();
  f.forcedFskBetweenRings = forcedFsk_->isChecked();
  f.audioMode = audioMode_->currentIndex();
  return f;
}

void HardwarePageWidget::writeHardware() {
  page_.writeHardware(controls());
  showFields(page_.fields());
}

}  // namespace parvolin::config::ui
