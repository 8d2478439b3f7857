#pragma once

#include <cstdint>
#include <filesystem>
#include <initializer_list>
#include <span>
#include <system_error>

namespace parvolin::codec {

// Writes `parts` one after the other as the new content of `target` so that a crash or a full
// disk never leaves a half-written file under that name: the bytes go to a hidden temporary file
// beside it ("." + name + ".tmp"), which is flushed to disk and renamed over `target`, and then
// the folder is flushed. On failure the temporary file is removed, `target` is as it was, and the
// error is returned; an empty error_code means success.
std::error_code replaceFileContents(const std::filesystem::path& target,
                                    std::initializer_list<std::span<const std::uint8_t>> parts);

// The temporary name replaceFileContents uses for `target`.
std::filesystem::path temporaryPathFor(const std::filesystem::path& target);

}  // namespace parvolin::codec
