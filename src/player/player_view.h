#pragma once

#include <cstdint>
#include <string>

namespace parvolin::player {

// What the player engine shows and asks of its window. The window holds no rule: it shows what
// it is told and reports the slider's state.
class PlayerView {
 public:
  virtual ~PlayerView() = default;

  // The Pause/Play control shows the pause symbol while playing, the play symbol while paused.
  virtual void showPlaying(bool playing) = 0;
  virtual void hideDavaButtons() = 0;
  virtual void setSliderPosition(std::uint32_t samples) = 0;
  // True while the user holds the slider (it has the mouse capture).
  virtual bool sliderDragged() const = 0;
  virtual std::uint32_t sliderPosition() const = 0;
  virtual void setTimeText(const std::string& text) = 0;
  // Hides the slider, stops the position timer and closes the window, which ends the player.
  virtual void endPlayer() = 0;
};

}  // namespace parvolin::player
