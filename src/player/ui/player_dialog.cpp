#include "player/ui/player_dialog.h"

#include <QAction>
#include <QLabel>
#include <QMessageBox>
#include <QProxyStyle>
#include <QSlider>
#include <QTimer>
#include <QToolButton>
#include <algorithm>
#include <filesystem>

#include "player/time_label.h"
#include "player/ui/player_icons.h"
#include "widgets/ui/dialog_units.h"
#include "widgets/ui/qt_text.h"

namespace parvolin::player::ui {

namespace {

constexpr int kIconPixels = 32;

// A click anywhere on the slider's groove takes the handle there and holds it, as a drag does,
// so that every press of the slider ends in a release that moves the position.
class ClickToPositionStyle final : public QProxyStyle {
 public:
  int styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                QStyleHintReturn* returnData) const override {
    if (hint == SH_Slider_AbsoluteSetButtons) return Qt::LeftButton;
    return QProxyStyle::styleHint(hint, option, widget, returnData);
  }
};

}  // namespace

PlayerDialog::PlayerDialog(PlayerSeams seams, QWidget* parent)
    : QDialog(parent),
      seams_(std::move(seams)),
      engine_(seams_.clock, seams_.prompt, seams_.output, *this, seams_.options) {
  setWindowTitle(kPlayerTitle);
  setWindowIcon(icons::program());
  setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                 Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
  QFont dialogFont = font();
  dialogFont.setPointSize(widgets::kFontPointSize);
  setFont(dialogFont);

  createControls();
  createContextMenu();
  connectSignals();
}

PlayerDialog::~PlayerDialog() = default;

QToolButton* PlayerDialog::iconButton(const char* name, const QIcon& icon, const char* tip) {
  auto* button = new QToolButton(this);
  button->setObjectName(name);
  button->setIcon(icon);
  button->setIconSize(QSize(kIconPixels, kIconPixels));
  button->setAutoRaise(true);
  button->setToolTip(tip);
  return button;
}

void PlayerDialog::createControls() {
  const widgets::DialogUnits du(font());
  setFixedSize(du.size(342, 89));

  dava1Button_ = iconButton("davaLevel1Button", icons::dava(1), kDava1Tip);
  dava1Button_->setGeometry(du.rect(68, 60, 20, 20));
  wavButton_ = iconButton("wavButton", icons::saveWav(), kWavTip);
  wavButton_->setGeometry(du.rect(113, 60, 20, 20));
  pausePlayButton_ = iconButton("pausePlayButton", icons::play(), kPausePlayTip);
  pausePlayButton_->setGeometry(du.rect(159, 60, 20, 20));
  stopButton_ = iconButton("stopButton", icons::stop(), kStopTip);
  stopButton_->setGeometry(du.rect(205, 60, 20, 20));
  dava2Button_ = iconButton("davaLevel2Button", icons::dava(2), kDava2Tip);
  dava2Button_->setGeometry(du.rect(251, 60, 20, 20));

  slider_ = new QSlider(Qt::Horizontal, this);
  slider_->setObjectName("playSlider");
  auto* style = new ClickToPositionStyle;
  style->setParent(slider_);
  slider_->setStyle(style);
  slider_->setTickPosition(QSlider::TicksBelow);
  slider_->setToolTip(kSliderTip);
  slider_->setGeometry(du.rect(12, 15, 318, 27));

  timeLabel_ = new QLabel(this);
  timeLabel_->setObjectName("timeLabel");
  timeLabel_->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
  timeLabel_->setGeometry(du.rect(240, 45, 85, 10));

  fileLabel_ = new QLabel(kFileTextInitial, this);
  fileLabel_->setObjectName("fileLabel");
  fileLabel_->setGeometry(du.rect(20, 45, 137, 10));

  positionTimer_ = new QTimer(this);
  positionTimer_->setObjectName("positionTimer");
  positionTimer_->setInterval(kTickPeriodMs);
  decodeTimer_ = new QTimer(this);
  decodeTimer_->setInterval(0);
}

void PlayerDialog::createContextMenu() {
  auto* about = new QAction(QString::fromUtf8(kAboutEntryText), this);
  about->setObjectName("aboutAction");
  connect(about, &QAction::triggered, this, &PlayerDialog::onAbout);
  addAction(about);
  setContextMenuPolicy(Qt::ActionsContextMenu);
}

void PlayerDialog::connectSignals() {
  connect(dava1Button_, &QToolButton::clicked, this, [this] { onDava(1); });
  connect(dava2Button_, &QToolButton::clicked, this, [this] { onDava(2); });
  connect(wavButton_, &QToolButton::clicked, this, &PlayerDialog::onSaveWav);
  connect(pausePlayButton_, &QToolButton::clicked, this, &PlayerDialog::onPausePlay);
  connect(stopButton_, &QToolButton::clicked, this, &PlayerDialog::onStop);
  connect(slider_, &QSlider::sliderReleased, this, &PlayerDialog::onSliderReleased);
  connect(positionTimer_, &QTimer::timeout, this, &PlayerDialog::onPositionTimer);
  connect(decodeTimer_, &QTimer::timeout, this, &PlayerDialog::onDecodeStep);
}

bool PlayerDialog::start(RecordingFile file, int mode, const std::string& path) {
  path_ = path;
  if (mode == 0) hideDavaButtons();
  fileLabel_->setText(kFileTextPrefix +
                      QString::fromStdString(std::filesystem::path(path).filename().string()));
  if (!engine_.loadAndStart(std::move(file), mode)) return false;

  const std::uint32_t count = engine_.sampleCount();
  slider_->setRange(0, static_cast<int>(std::max<std::uint32_t>(count, 1) - 1));
  slider_->setTickInterval(static_cast<int>(std::max<std::uint32_t>(count / 10, 1)));
  slider_->setPageStep(static_cast<int>(std::max<std::uint32_t>(count / 10, 1)));
  slider_->setValue(0);
  timeLabel_->setText(widgets::toQString(timeTextAtMs(0, count)));
  positionTimer_->start();
  showPlaying(true);
  if (!engine_.decodingDone()) decodeTimer_->start();
  return true;
}

void PlayerDialog::showPlaying(bool playing) {
  pausePlayButton_->setIcon(playing ? icons::pause() : icons::play());
}

void PlayerDialog::hideDavaButtons() {
  dava1Button_->hide();
  dava2Button_->hide();
}

void PlayerDialog::setSliderPosition(std::uint32_t samples) {
  slider_->setValue(static_cast<int>(std::min<std::uint32_t>(samples, slider_->maximum())));
}

bool PlayerDialog::sliderDragged() const {
  return slider_->isSliderDown();
}

std::uint32_t PlayerDialog::sliderPosition() const {
  return static_cast<std::uint32_t>(slider_->value());
}

void PlayerDialog::setTimeText(const std::string& text) {
  timeLabel_->setText(widgets::toQString(text));
}

void PlayerDialog::endPlayer() {
  slider_->hide();
  positionTimer_->stop();
  decodeTimer_->stop();
  done(QDialog::Accepted);
}

void PlayerDialog::onPositionTimer() {
  engine_.tick();
}

void PlayerDialog::onDecodeStep() {
  if (!engine_.decodeMore()) decodeTimer_->stop();
}

void PlayerDialog::onSliderReleased() {
  engine_.seekTo(sliderPosition());
}

void PlayerDialog::onPausePlay() {
  engine_.pausePlay();
}

void PlayerDialog::onStop() {
  engine_.stopAndExit();
}

void PlayerDialog::onSaveWav() {
  engine_.saveWavCopy(path_, seams_.saveDialog);
}

void PlayerDialog::onDava(int level) {
  engine_.applyPlayerDava(level);
}

void PlayerDialog::onAbout() {
  QMessageBox about(this);
  about.setWindowTitle(kAboutTitle);
  about.setIconPixmap(icons::program().pixmap(kIconPixels, kIconPixels));
  about.setText(kAboutText);
  about.setStandardButtons(QMessageBox::Ok);
  about.exec();
}

}  // namespace parvolin::player::ui
