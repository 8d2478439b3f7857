#pragma once

#include <filesystem>
#include <optional>
#include <string>

namespace parvolin::app {

// What a program does with the settings file it is given.
enum class ConfigUse {
  kRead,   // only reads it (pvtool log, pvtool settings without changes): it must exist
  kWrite,  // reads and writes it (parvolin, pvtool settings NAME=VALUE): it may be made
};

// Why a file named with --config cannot hold the settings, so that it is refused before anything
// reads or rewrites it, by every program alike: it is a folder; it exists but cannot be read, or
// is no settings file (an INI file: blank lines, ";" or "#" comments, "[section]" lines and
// "key=value" lines, no NUL byte, at most 1 MiB); it is missing and is only to be read, or its
// folder does not exist (a typing error is never made into new folders); or, to be written, it
// cannot be (its folder cannot be written in, or the file itself cannot be written). Nothing
// when the file can be used.
[[nodiscard]] std::optional<std::string> configFileProblem(const std::filesystem::path& file,
                                                           ConfigUse use = ConfigUse::kWrite);

}  // namespace parvolin::app
