#pragma once

#include <cstdint>

#include <QIcon>

class QWidget;

// The text colours of the log viewer's and the file manager's buttons, as Windows colour
// values (0x00BBGGRR).
namespace parvolin::logview::ui {

inline constexpr std::uint32_t kBlueText = 0xFF0000;
inline constexpr std::uint32_t kGreenText = 0x00FF00;
inline constexpr std::uint32_t kOrangeText = 0x007FFF;
inline constexpr std::uint32_t kDarkRedText = 0x00007F;
inline constexpr std::uint32_t kRedText = 0x0000FF;

// The icon of "View Port Activity" and "Exit": the program's own icon when it has one.
QIcon returnIcon(const QWidget* widget);

}  // namespace parvolin::logview::ui
