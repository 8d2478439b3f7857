#pragma once

#include <QString>

#include <filesystem>
#include <functional>
#include <optional>

namespace parvolin::logview::ui {

// Opens a recording for playing.
using RecordingOpener = std::function<void(const std::filesystem::path& recording)>;

// The desktop's way: the program associated with the file's type (the player, registered at
// start-up); when the desktop cannot open it, the player "lvplayer" is started directly, from
// the running program's folder or else from PATH.
void openRecordingOnDesktop(const std::filesystem::path& recording);

// The recording a "Play" link names: a bare file name in `folder`. Nullopt for anything else
// (another folder, a web address), which is not opened.
std::optional<std::filesystem::path> recordingOfLink(const QString& link,
                                                     const std::filesystem::path& folder);

}  // namespace parvolin::logview::ui
