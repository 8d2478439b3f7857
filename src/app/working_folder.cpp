#include "app/working_folder.h"

#include <system_error>

namespace parvolin::app {

std::filesystem::path ProcessWorkingFolder::current() {
  std::error_code ec;
  std::filesystem::path cwd = std::filesystem::current_path(ec);
  return ec ? std::filesystem::path(".") : cwd;
}

bool ProcessWorkingFolder::changeTo(const std::filesystem::path& folder) {
  std::error_code ec;
  std::filesystem::current_path(folder, ec);
  return !ec;
}

bool ProcessWorkingFolder::create(const std::filesystem::path& folder) {
  std::error_code ec;
  std::filesystem::create_directories(folder, ec);
  return std::filesystem::is_directory(folder, ec);
}

bool enterOrCreate(WorkingFolder& workingFolder, const std::filesystem::path& folder) {
  const bool located = workingFolder.changeTo(folder) || workingFolder.create(folder);
  workingFolder.changeTo(folder);
  return located;
}

bool FakeWorkingFolder::changeTo(const std::filesystem::path& folder) {
  std::error_code ec;
  if (folder.empty() || !std::filesystem::is_directory(current_ / folder, ec)) return false;
  current_ = (current_ / folder).lexically_normal();
  return true;
}

bool FakeWorkingFolder::create(const std::filesystem::path& folder) {
  std::error_code ec;
  std::filesystem::create_directories(current_ / folder, ec);
  return std::filesystem::is_directory(current_ / folder, ec);
}

}  // namespace parvolin::app
