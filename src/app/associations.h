#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace parvolin::app {

// The file types of the recorder, registered the freedesktop way under the user's data folder:
// a shared-mime-info package for the recorded audio files "audio/LV0" to "audio/LV3" and for the
// remote-access server's ".USC" files, and a desktop entry for each opener.
inline constexpr const char* kMimePackageFile = "mime/packages/parvolin.xml";
inline constexpr const char* kPlayerDesktopFile = "applications/parvolin-lvplayer.desktop";
inline constexpr const char* kServerDesktopFile = "applications/parvolin-lvsvr.desktop";
inline constexpr const char* kServerMimeType = "application/x-lvsvr-usc";
inline constexpr const char* kPlayerProgram = "lvplayer";
inline constexpr const char* kServerProgram = "LvSvr";

// $XDG_DATA_HOME when it is an absolute path, else $HOME/.local/share; nothing without either.
std::optional<std::filesystem::path> userDataFolder();

// One argument of a desktop entry's Exec key, quoted as the entry format requires (the reserved
// characters escaped inside double quotes, then the string escapes of the file format).
std::string quoteExecArgument(std::string_view argument);

std::string mimePackageText();
std::string playerDesktopText(const std::filesystem::path& programFolder);
std::string serverDesktopText(const std::filesystem::path& programFolder);

// Writes the three files under `dataFolder` (replacing what is there, each through a temporary
// file renamed over it). Returns the files written; a file that could not be written is left out.
std::vector<std::filesystem::path> writeAssociationFiles(
    const std::filesystem::path& dataFolder, const std::filesystem::path& programFolder);

}  // namespace parvolin::app
