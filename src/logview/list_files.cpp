#include "logview/list_files.h"

#include "base/program_text.h"
#include "engine/call_log.h"
#include "engine/html_list.h"
#include "logview/list_rows.h"

namespace parvolin::logview {

namespace fs = std::filesystem;

std::string workingFileName(std::string_view listName, std::string_view suffix) {
  constexpr std::string_view kHtm = ".htm";
  if (listName.find(kHtm) == std::string_view::npos) {
    return std::string(listName) + std::string(suffix);
  }
  return engine::replaceAll(listName, kHtm, suffix);
}

ListFiles ListFiles::forList(const fs::path& list) {
  ListFiles files;
  files.list = list;
  const std::string name = list.filename().string();
  files.find = list.parent_path() / workingFileName(name, "Find.htm");
  files.findBackup = list.parent_path() / (files.find.filename().string() + "bak");
  files.editCopy = list.parent_path() / workingFileName(name, "Edit.htm");
  return files;
}

std::optional<std::string> notListProblem(const fs::path& file, std::string_view content) {
  if (isListFile(content)) return std::nullopt;
  return base::printable(file.string()) + ": not an HTML call list";
}

std::optional<std::string> ownListProblem(const fs::path& list, std::string_view content) {
  if (auto problem = notListProblem(list, content)) return problem;
  const std::string name = list.filename().string();
  const std::string shown = base::printable(list.string());
  for (const std::string_view suffix : {"Find.htm", "Find.htmbak", "Edit.htm"}) {
    if (name.ends_with(suffix)) {
      return shown +
             ": a search or edit copy, not a recording folder's list (name the list itself)";
    }
  }
  const fs::path folder = list.has_parent_path() ? list.parent_path() : fs::path(".");
  if (!fileExists(folder / engine::kCallLogName)) {
    return shown + ": not a recording folder's list (no " + engine::kCallLogName + " beside it)";
  }
  return std::nullopt;
}

bool fileExists(const fs::path& path) {
  std::error_code error;
  return fs::is_regular_file(path, error);
}

void removeIfExists(const fs::path& path) {
  std::error_code ignored;
  if (fileExists(path)) fs::remove(path, ignored);
}

void renameIfExists(const fs::path& from, const fs::path& to) {
  std::error_code ignored;
  if (fileExists(from)) fs::rename(from, to, ignored);
}

std::error_code copyFile(const fs::path& from, const fs::path& to) {
  std::error_code error;
  fs::copy_file(from, to, fs::copy_options::overwrite_existing, error);
  return error;
}

void prepareWorkingCopies(const ListFiles& files) {
  removeIfExists(files.findBackup);
  renameIfExists(files.find, files.findBackup);
  // A failed copy leaves nothing behind, so that no stale copy is taken for the list.
  if (copyFile(files.list, files.find)) removeIfExists(files.find);
  if (copyFile(files.list, files.editCopy)) removeIfExists(files.editCopy);
}

}  // namespace parvolin::logview
