#include "app/config_file.h"

#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <cerrno>
#include <string_view>
#include <system_error>

#include "base/file_io.h"

namespace parvolin::app {
namespace {

constexpr std::size_t kMaxSettingsFileSize = 1 << 20;

std::string lastErrorText() {
  return std::error_code(errno, std::generic_category()).message();
}

std::string_view trimmed(std::string_view line) {
  while (!line.empty() && (line.front() == ' ' || line.front() == '\t')) line.remove_prefix(1);
  while (!line.empty() && (line.back() == ' ' || line.back() == '\t' || line.back() == '\r')) {
    line.remove_suffix(1);
  }
  return line;
}

// The number of the first line that no settings file holds, or 0 when every line is one.
std::size_t firstForeignLine(std::string_view text) {
  std::size_t number = 0;
  while (!text.empty()) {
    ++number;
    const std::size_t end = text.find('\n');
    const std::string_view line = trimmed(text.substr(0, end));
    text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
    if (line.empty() || line.front() == ';' || line.front() == '#') continue;
    if (line.front() == '[' && line.back() == ']') continue;
    const std::size_t equals = line.find('=');
    if (equals != std::string_view::npos && equals != 0) continue;
    return number;
  }
  return 0;
}

// Why the folder takes no new file: the settings are written beside the file and renamed over
// it.
std::optional<std::string> folderTakesNoFile(const std::filesystem::path& folder) {
  std::error_code error;
  if (!std::filesystem::is_directory(folder, error)) {
    return "its folder " + folder.string() + " does not exist";
  }
  std::string probe = (folder / ".parvolin-config-XXXXXX").string();
  const int fd = ::mkstemp(probe.data());
  if (fd < 0) return "it cannot be written in its folder: " + lastErrorText();
  ::close(fd);
  ::unlink(probe.c_str());
  return std::nullopt;
}

}  // namespace

std::optional<std::string> configFileProblem(const std::filesystem::path& file, ConfigUse use) {
  const std::string name = file.string();
  std::error_code error;
  const std::filesystem::file_status status = std::filesystem::status(file, error);
  if (std::filesystem::is_directory(status)) return name + " is a folder, not a settings file";
  const std::filesystem::path folder =
      file.has_parent_path() ? file.parent_path() : std::filesystem::path(".");
  if (!std::filesystem::exists(status)) {
    if (use == ConfigUse::kRead) return name + ": no such settings file";
    if (const auto problem = folderTakesNoFile(folder)) return name + ": " + *problem;
    return std::nullopt;
  }
  if (!std::filesystem::is_regular_file(status)) return name + " is not a settings file";
  std::error_code sizeError;
  if (std::filesystem::file_size(file, sizeError) > kMaxSettingsFileSize) {
    return name + " is too large for a settings file";
  }
  std::string text;
  if (const std::error_code readError = base::readWholeFile(file, text)) {
    return name + " cannot be read: " + readError.message();
  }
  if (text.find('\0') != std::string::npos) return name + " is not a settings file";
  if (const std::size_t line = firstForeignLine(text)) {
    return name + " is not a settings file (line " + std::to_string(line) +
           " is no setting); it is left as it is";
  }
  if (use == ConfigUse::kRead) return std::nullopt;
  // Opened for writing without changing it: a file that may not be written is refused here
  // rather than silently not saved.
  const int fd = ::open(file.c_str(), O_WRONLY | O_APPEND | O_CLOEXEC);
  if (fd < 0) return name + " cannot be written: " + lastErrorText();
  ::close(fd);
  if (const auto problem = folderTakesNoFile(folder)) return name + ": " + *problem;
  return std::nullopt;
}

}  // namespace parvolin::app
