#pragma once

#include <QIcon>

// The recorder's pictures, drawn from the SVG files of data/icons/ (the same files are installed
// in the desktop's icon theme): the program, the tray and the Exit button.
namespace parvolin::app::ui::icons {

QIcon program();
QIcon tray();
QIcon exit();

}  // namespace parvolin::app::ui::icons
