#pragma once

#include <QWidget>

#include <array>

#include "config/hardware_page.h"

class QCheckBox;
class QComboBox;
class QLineEdit;
class QPushButton;

namespace parvolin::config::ui {

// One unit's hardware settings page: binds the page's values to its controls; "Write Hardware"
// passes the controls to the page, "Exit Settings" ends the whole configuration dialog.
class HardwarePageWidget : public QWidget {
  Q_OBJECT

 public:
  // `page` outlives the widget. The page has been initialised: "Write Hardware" is enabled as it
  // allows.
  explicit HardwarePageWidget(HardwarePage& page, QWidget* parent = nullptr);

  HardwareFields controls() const;

  // For tests.
  QPushButton* portButton(int port) const { return varPort_[std::size_t(port)]; }
  QComboBox* thresholdList() const { return threshold_; }
  QComboBox* turnOffDelayList() const { return turnOffDelay_; }
  QComboBox* timeoutList() const { return timeout_; }
  QComboBox* audioModeList() const { return audioMode_; }
  QPushButton* preRingDtmfButton() const { return preRingDtmf_; }
  QPushButton* preRingFskButton() const { return preRingFsk_; }
  QCheckBox* forcedFskBox() const { return forcedFsk_; }
  QLineEdit* deviceIdEdit() const { return deviceId_; }
  QPushButton* writeButton() const { return write_; }
  QPushButton* exitButton() const { return exit_; }

 signals:
  void exitRequested();

 private:
  void createControls();
  void showFields(const HardwareFields& fields);
  void writeHardware();

  HardwarePage& page_;
  std::array<QPushButton*, 4> varPort_{};
  QComboBox* threshold_ = nullptr;
  QComboBox* turnOffDelay_ = nullptr;
  QComboBox* timeout_ = nullptr;
  QPushButton* preRingDtmf_ = nullptr;
  QPushButton* preRingFsk_ = nullptr;
  QCheckBox* forcedFsk_ = nullptr;
  QComboBox* audioMode_ = nullptr;
  QLineEdit* deviceId_ = nullptr;
  QPushButton* write_ = nullptr;
  QPushButton* exit_ = nullptr;
};

}  // namespace parvolin::config::ui
