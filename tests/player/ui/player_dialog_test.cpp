#include "player/ui/player_dialog.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QLabel>
#include <QSlider>
#include <QTest>
#include <QToolButton>

#include "player/silent_wave_output.h"
#include "player/test_support.h"
#include "player/ui/player_icons.h"
#include "support/scripted_prompt.h"
#include "support/test_files.h"

namespace parvolin::player::ui {
namespace {

using player::test::FakeSaveDialog;
using player::test::randomBytes;

constexpr std::size_t kBlock = codec::kAudioBlockSize;

class PlayerDialogTest : public ::testing::Test {
 protected:
  // Starts a dialog on a recording of `blocks` audio blocks in `mode` and shows it.
  void start(int mode, std::size_t blocks = 100) {
    path_ = folder_.path() / ("w44819C25p4.LV" + std::to_string(mode));
    parvolin::test::writeBytes(path_, randomBytes(blocks * kBlock, 1));
    PlayerOptions options;
    options.storeFolder = folder_.path();
    dialog_ =
        std::make_unique<PlayerDialog>(PlayerSeams{clock_, prompt_, output_, saveDialog_, options});
    ASSERT_TRUE(dialog_->start(std::move(*RecordingFile::open(path_)), mode, path_.string()));
    dialog_->show();
  }
  template <class W>
  W* child(const char* name) {
    auto* widget = dialog_->findChild<W*>(name);
    EXPECT_NE(widget, nullptr) << name;
    return widget;
  }
  QToolButton* button(const char* name) { return child<QToolButton>(name); }
  void tick(std::int64_t ms) {
    clock_.advanceMs(ms);
    QMetaObject::invokeMethod(dialog_.get(), "onPositionTimer");
  }
  static QImage picture(const QIcon& icon) { return icon.pixmap(32, 32).toImage(); }

  parvolin::test::TempFolder folder_;
  std::filesystem::path path_;
  base::VirtualClock clock_;
  parvolin::test::ScriptedPrompt prompt_;
  SilentWaveOutput output_{prompt_};
  FakeSaveDialog saveDialog_;
  std::unique_ptr<PlayerDialog> dialog_;
};

TEST_F(PlayerDialogTest, ShowsTheFileItsLengthAndTheControlsWithTheirTips) {
  start(1);  // 204,800 samples: 25.6 s
  EXPECT_EQ(dialog_->windowTitle(), "LvPlayer Ver1.0");
  EXPECT_EQ(child<QLabel>("fileLabel")->text(), "FILE: w44819C25p4.LV1");
  EXPECT_EQ(child<QLabel>("timeLabel")->text(), "0'0\" / 0'25\"");
  auto* slider = child<QSlider>("playSlider");
  EXPECT_EQ(slider->minimum(), 0);
  EXPECT_EQ(slider->maximum(), 204'799);
  EXPECT_EQ(slider->tickInterval(), 20'480);
  EXPECT_EQ(slider->toolTip(), "Play slider");
  const std::pair<const char*, const char*> tips[] = {
      {"davaLevel1Button", "Digital audio adjustment,level1"},
      {"wavButton", "Wave file conversion"},
      {"pausePlayButton", "Pause/Play"},
      {"stopButton", "Stop playing"},
      {"davaLevel2Button", "Digital audio adjustment,level2"},
  };
  for (const auto& [name, tip] : tips) {
    EXPECT_EQ(button(name)->toolTip(), tip);
    EXPECT_TRUE(button(name)->isVisible()) << name;
  }
  // Left to right as the design lays them out.
  for (std::size_t i = 1; i < std::size(tips); ++i) {
    EXPECT_LT(button(tips[i - 1].first)->x(), button(tips[i].first)->x());
  }
  EXPECT_TRUE(picture(button("pausePlayButton")->icon()) == picture(icons::pause()));
  const auto actions = dialog_->actions();
  ASSERT_EQ(actions.size(), 1);
  EXPECT_EQ(actions[0]->text(), QString::fromUtf8("关于 LvPlayer(&A)..."));
}

TEST_F(PlayerDialogTest, AMode0RecordingHasNoAdjustmentButtons) {
  start(0);
  EXPECT_FALSE(button("davaLevel1Button")->isVisible());
  EXPECT_FALSE(button("davaLevel2Button")->isVisible());
  for (const char* name : {"wavButton", "pausePlayButton", "stopButton"}) {
    EXPECT_TRUE(button(name)->isVisible()) << name;
  }
}

TEST_F(PlayerDialogTest, PausePlaySwapsTheIconAndTheSound) {
  start(1);
  tick(1000);
  EXPECT_EQ(child<QSlider>("playSlider")->value(), 8000);
  EXPECT_EQ(child<QLabel>("timeLabel")->text(), "0'1\" / 0'25\"");
  QTest::mouseClick(button("pausePlayButton"), Qt::LeftButton);
  EXPECT_TRUE(dialog_->engine().paused());
  EXPECT_EQ(output_.steps.back(), "reset");
  EXPECT_TRUE(picture(button("pausePlayButton")->icon()) == picture(icons::play()));
  QTest::mouseClick(button("pausePlayButton"), Qt::LeftButton);
  EXPECT_FALSE(dialog_->engine().paused());
  EXPECT_EQ(output_.written.back().data() - dialog_->engine().playBuffer().data(), 8000);
  EXPECT_TRUE(picture(button("pausePlayButton")->icon()) == picture(icons::pause()));
}

TEST_F(PlayerDialogTest, AClickOnTheSliderSeeksThere) {
  start(1);
  auto* slider = child<QSlider>("playSlider");
  const QPoint threeQuarters(slider->width() * 3 / 4, slider->height() / 2);
  QTest::mousePress(slider, Qt::LeftButton, {}, threeQuarters);
  EXPECT_TRUE(dialog_->sliderDragged());
  tick(250);  // held: the sound stops and the label follows the slider
  EXPECT_EQ(output_.steps.back(), "reset");
  QTest::mouseRelease(slider, Qt::LeftButton, {}, threeQuarters);
  EXPECT_NEAR(slider->value(), 204'800 * 3 / 4, 204'800 / 20);
  EXPECT_EQ(dialog_->engine().elapsedMs(), static_cast<std::uint32_t>(slider->value()) / 8);
  EXPECT_EQ(output_.written.back().data() - dialog_->engine().playBuffer().data(),
            slider->value() / 8 * 8);
}

TEST_F(PlayerDialogTest, AnAdjustmentButtonTakesBothAway) {
  start(2);
  QTest::mouseClick(button("davaLevel2Button"), Qt::LeftButton);
  EXPECT_FALSE(button("davaLevel1Button")->isVisible());
  EXPECT_FALSE(button("davaLevel2Button")->isVisible());
  EXPECT_EQ(dialog_->engine().elapsedMs(), 0u);
  EXPECT_FALSE(dialog_->engine().paused());
}

TEST_F(PlayerDialogTest, TheWavSaveProposesTheCallsNameAndPlaysOn) {
  start(3);
  saveDialog_.answer = folder_.path() / "saved.WAV";
  QTest::mouseClick(button("wavButton"), Qt::LeftButton);
  EXPECT_EQ(saveDialog_.proposed + ".WAV", codec::proposedWavName(path_.filename().string()));
  ASSERT_EQ(prompt_.shown.size(), 1u);
  EXPECT_EQ(prompt_.shown[0].text, "WAVE file has been saved. Click for playback!");
  EXPECT_TRUE(std::filesystem::exists(*saveDialog_.answer));
  EXPECT_FALSE(dialog_->engine().paused());
}

TEST_F(PlayerDialogTest, StopAndTheEndOfTheSoundCloseTheWindow) {
  start(1);
  QTest::mouseClick(button("stopButton"), Qt::LeftButton);
  EXPECT_FALSE(dialog_->isVisible());
  EXPECT_EQ(dialog_->result(), QDialog::Accepted);
  EXPECT_FALSE(output_.isOpen());

  start(1, 3);  // 768 ms
  for (int t = 0; t < 4; ++t) tick(250);
  EXPECT_FALSE(dialog_->isVisible());
  EXPECT_FALSE(child<QSlider>("playSlider")->isVisible());
}

}  // namespace
}  // namespace parvolin::player::ui
