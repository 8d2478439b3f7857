#include "codec/raw_file.h"

#include <cerrno>

#include <fcntl.h>
#include <unistd.h>

#include "base/file_io.h"

namespace parvolin::codec {

std::optional<std::uint64_t> regularFileLength(const std::filesystem::path& path,
                                               std::error_code& ec) {
  const auto status = std::filesystem::status(path, ec);
  if (ec) return std::nullopt;
  if (!std::filesystem::is_regular_file(status)) {
    ec = std::make_error_code(std::filesystem::is_directory(status) ? std::errc::is_a_directory
                                                                    : std::errc::invalid_argument);
    return std::nullopt;
  }
  const auto length = std::filesystem::file_size(path, ec);
  if (ec) return std::nullopt;
  return length;
}

bool readFileStart(const std::filesystem::path& path, std::uint8_t* dst, std::size_t length,
                   std::error_code& ec) {
  const base::FileHandle file(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
  if (!file.isOpen()) {
    ec = {errno, std::generic_category()};
    return false;
  }
  std::size_t done = 0;
  while (done < length) {
    const ssize_t n = ::read(file.fd(), dst + done, length - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      ec = n < 0 ? std::error_code{errno, std::generic_category()}
                 : std::make_error_code(std::errc::io_error);
      break;
    }
    done += static_cast<std::size_t>(n);
  }
  return done == length;
}

}  // namespace parvolin::codec
