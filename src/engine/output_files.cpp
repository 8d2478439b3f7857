#include "engine/output_files.h"

#include <fcntl.h>
#include <unistd.h>

#include <system_error>

#include "base/file_io.h"
#include "base/folder_lock.h"
#include "engine/call_log.h"
#include "engine/html_list.h"

namespace parvolin::engine {
namespace {

bool isUpperHex(char c) {
  return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F');
}

// The file begins with the fixed head of a call list.
bool holdsCallList(const std::filesystem::path& file) {
  base::FileHandle handle(::open(file.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
  if (!handle.isOpen()) return false;
  std::string head(kHtmlHeaderSize, '\0');
  const ssize_t n = ::pread(handle.fd(), head.data(), head.size(), 0);
  return n == ssize_t(head.size()) && head == kHtmlHeader;
}

bool sameFolder(const std::filesystem::path& a, const std::filesystem::path& b) {
  std::error_code error;
  return std::filesystem::equivalent(a.empty() ? "." : a, b, error);
}

}  // namespace

bool isRecordingFileName(std::string_view name) {
  // w + 8 hex + p + 1 hex + .LVn / .WAV: 15 characters.
  if (name.size() != 15 || name[0] != 'w' || name[9] != 'p' || name[11] != '.') return false;
  for (std::size_t i = 1; i <= 8; ++i) {
    if (!isUpperHex(name[i])) return false;
  }
  if (!isUpperHex(name[10])) return false;
  const std::string_view extension = name.substr(12);
  return extension == "WAV" ||
         (extension.substr(0, 2) == "LV" && extension[2] >= '0' && extension[2] <= '3');
}

bool folderHoldsCalls(const std::filesystem::path& folder) {
  std::error_code error;
  if (std::filesystem::exists(folder / kCallLogName, error)) return true;
  for (std::filesystem::directory_iterator it(folder, error), end; !error && it != end;
       it.increment(error)) {
    if (isRecordingFileName(it->path().filename().string())) return true;
  }
  return false;
}

std::optional<std::string> outputFileProblem(const std::filesystem::path& target,
                                             ExistingFile existing,
                                             const std::filesystem::path& recordingFolder,
                                             std::string_view listName) {
  const std::string name = target.filename().string();
  const std::string own = " is one of a recording folder's own files; it is never written here";
  if (name == kCallLogName || name == base::kFolderLockName || isRecordingFileName(name)) {
    return target.string() + own;
  }
  if (!recordingFolder.empty() && !listName.empty() && name == listName &&
      sameFolder(target.parent_path(), recordingFolder)) {
    return target.string() + own;
  }
  std::error_code error;
  const std::filesystem::file_status status = std::filesystem::symlink_status(target, error);
  if (!std::filesystem::exists(status)) return std::nullopt;
  if (std::filesystem::is_directory(std::filesystem::status(target, error))) {
    return target.string() + " is a folder";
  }
  if (holdsCallList(target)) return target.string() + " is a call list; it is never written here";
  if (existing == ExistingFile::kRefuse) {
    return target.string() + " exists (--force replaces it)";
  }
  return std::nullopt;
}

}  // namespace parvolin::engine
