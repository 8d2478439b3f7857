#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <system_error>

namespace parvolin::codec {

// Length of a regular file; nullopt (with `ec` set) when it is missing, not a regular file or
// unreadable.
[[nodiscard]] std::optional<std::uint64_t> regularFileLength(const std::filesystem::path& path,
                                                             std::error_code& ec);

// Reads exactly `length` bytes from the start of `path` into `dst`. Fails (with `ec` set) when
// the file cannot be opened or holds fewer bytes.
[[nodiscard]] bool readFileStart(const std::filesystem::path& path, std::uint8_t* dst,
                                 std::size_t length, std::error_code& ec);

}  // namespace parvolin::codec
