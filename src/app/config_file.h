#pragma once

#include <filesystem>
#include <optional>
#include <string>

namespace parvolin::app {

// Why a file named with --config cannot hold the settings, so that it is refused before anything
// reads or rewrites it: it is a folder; it exists but cannot be read, or is no settings file (an
// INI file: blank lines, ";" or "#" comments, "[section]" lines and "key=value" lines, no NUL
// byte, at most 1 MiB); or it cannot be written (its folder cannot be made or written in, or
// the file itself cannot be written). A missing file whose folder can be written in is fine;
// its folder is made when missing. Nothing when the file can be used.
std::optional<std::string> configFileProblem(const std::filesystem::path& file);

}  // namespace parvolin::app
