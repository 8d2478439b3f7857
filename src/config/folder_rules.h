#pragma once

#include <filesystem>
#include <string>
#include <string_view>

// How the software settings page turns a folder into the recording folder: every recording
// folder is a sub-folder named "ZEruFolder", appended to what the user chose or typed.
namespace parvolin::config {

// The platform's path separator ('/' here, '\\' on Windows).
inline constexpr char kFolderSeparator =
    static_cast<char>(std::filesystem::path::preferred_separator);

// "ZEruFolder", the name of the settings table's default folder.
std::string_view recordingFolderName();

// The folder "Browse" makes of a chosen path: the path as it is when it ends in the separator
// and "ZEruFolder"; otherwise "ZEruFolder" appended, after a separator unless the path ends in
// one (a root such as "/" or "C:\").
std::string browsedFolder(std::string_view chosen, char separator = kFolderSeparator);

// The folder "OK" makes of the typed text: kept as typed when it ends in "ZEruFolder" (with or
// without a separator before it); otherwise "ZEruFolder" appended as by browsedFolder.
std::string typedFolder(std::string_view typed, char separator = kFolderSeparator);

}  // namespace parvolin::config
