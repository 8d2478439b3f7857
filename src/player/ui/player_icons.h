#pragma once

#include <QIcon>

// The player's pictures, drawn rather than shipped: the program, play, pause, stop, the WAV
// save and the two levels of the volume adjustment.
namespace parvolin::player::ui::icons {

QIcon program();
QIcon play();
QIcon pause();
QIcon stop();
QIcon saveWav();
QIcon dava(int level);

}  // namespace parvolin::player::ui::icons
