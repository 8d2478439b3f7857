#pragma once

class QWidget;

namespace parvolin::app::ui {

inline constexpr const char* kAboutEntryText = "关于 Parvolin(&A)...";
inline constexpr const char* kAboutTitle = "About Parvolin";
inline constexpr const char* kAboutUnitsText = "Supports up to 4 units with 16 channels.";

// "Parvolin Version X.Y.Z"
const char* aboutNameText();

// Runs the modal "About Parvolin" box: the program icon, its name and version, what it
// supports, and "OK".
void runAboutBox(QWidget* parent);

}  // namespace parvolin::app::ui
