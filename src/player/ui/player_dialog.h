#pragma once

#include <QDialog>
#include <memory>
#include <string>

#include "player/player_engine.h"
#include "player/player_view.h"

class QLabel;
class QSlider;
class QTimer;
class QToolButton;

namespace parvolin::player::ui {

inline constexpr const char* kPlayerTitle = "LvPlayer Ver1.0";
inline constexpr const char* kFileTextPrefix = "FILE: ";
inline constexpr const char* kFileTextInitial = "File:";
inline constexpr const char* kAboutEntryText = "关于 LvPlayer(&A)...";
inline constexpr const char* kAboutTitle = "About LvPlayer";
inline constexpr const char* kAboutText = "LvPlayer  Version 1.0";
inline constexpr const char* kPausePlayTip = "Pause/Play";
inline constexpr const char* kDava1Tip = "Digital audio adjustment,level1";
inline constexpr const char* kWavTip = "Wave file conversion";
inline constexpr const char* kStopTip = "Stop playing";
inline constexpr const char* kDava2Tip = "Digital audio adjustment,level2";
inline constexpr const char* kSliderTip = "Play slider";

// What the player window works through: the clock, the message boxes, the sound output and
// the save dialog, so that tests can supply their own.
struct PlayerSeams {
  base::Clock& clock;
  base::Prompt& prompt;
  WaveOutput& output;
  codec::SaveNameDialog& saveDialog;
  PlayerOptions options = {};
};

// The player's one window: the position slider, the position/length label, the file's name and
// the buttons for the volume adjustment (two levels), the WAV save, Pause/Play and Stop. Each
// control calls one operation of the engine; the engine tells the window what to show.
class PlayerDialog final : public QDialog, public PlayerView {
  Q_OBJECT

 public:
  explicit PlayerDialog(PlayerSeams seams, QWidget* parent = nullptr);
  ~PlayerDialog() override;

  // Plays `file` (audio `mode`, named `path` on the command line): for mode 0 the adjustment
  // buttons go, the file's name is shown, the sound starts, the slider and the label are set up
  // and the position timer runs. Returns false when the player must end at once.
  bool start(RecordingFile file, int mode, const std::string& path);

  PlayerEngine& engine() { return engine_; }

  // PlayerView
  void showPlaying(bool playing) override;
  void hideDavaButtons() override;
  void setSliderPosition(std::uint32_t samples) override;
  bool sliderDragged() const override;
  std::uint32_t sliderPosition() const override;
  void setTimeText(const std::string& text) override;
  void endPlayer() override;

 private slots:
  void onPositionTimer();
  void onDecodeStep();
  void onSliderReleased();
  void onPausePlay();
  void onStop();
  void onSaveWav();
  void onDava(int level);
  void onAbout();

 private:
  void createControls();
  void createContextMenu();
  void connectSignals();
  QToolButton* iconButton(const char* name, const QIcon& icon, const char* tip);

  PlayerSeams seams_;
  PlayerEngine engine_;
  std::string path_;

  QToolButton* dava1Button_ = nullptr;
  QToolButton* wavButton_ = nullptr;
  QToolButton* pausePlayButton_ = nullptr;
  QToolButton* stopButton_ = nullptr;
  QToolButton* dava2Button_ = nullptr;
  QSlider* slider_ = nullptr;
  QLabel* timeLabel_ = nullptr;
  QLabel* fileLabel_ = nullptr;
  QTimer* positionTimer_ = nullptr;
  QTimer* decodeTimer_ = nullptr;
};

}  // namespace parvolin::player::ui
