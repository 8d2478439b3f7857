#pragma once

// The working files of the log viewer and the file manager, all next to the list: the find
// file (a sort's or search's result, shown instead of the list while it exists), its backup
// (the previous result while the file manager is open) and the edit copy (the copy of the
// list that sorts, searches and edits read).

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>

namespace parvolin::logview {

struct ListFiles {
  std::filesystem::path list;
  std::filesystem::path find;        // the list's name with every ".htm" made "Find.htm"
  std::filesystem::path findBackup;  // the find file's name followed by "bak"
  std::filesystem::path editCopy;    // the list's name with every ".htm" made "Edit.htm"

  static ListFiles forList(const std::filesystem::path& list);
  std::filesystem::path folder() const { return list.parent_path(); }
};

// `listName` with every ".htm" replaced by `suffix` ("Find.htm", "Edit.htm"). A name without
// ".htm" gets `suffix` appended instead, so that a working file never has the list's own name
// (deleting the find file must never delete the list).
std::string workingFileName(std::string_view listName, std::string_view suffix);

// Why `list`, whose bytes are `content`, is not a recording folder's own list, which alone the
// list commands change or write beside: `content` is no list (isListFile); the name is that of
// a working file ("...Find.htm", "...Find.htmbak", "...Edit.htm"), a copy whose edits would
// change nothing and whose emptying would clear the folder; or no call log sits beside it (a
// list copied elsewhere, into a folder of other files). Nothing for a recording folder's list.
[[nodiscard]] std::optional<std::string> ownListProblem(const std::filesystem::path& list,
                                                        std::string_view content);
// Why `file`, whose bytes are `content`, is no list; nothing for a list.
[[nodiscard]] std::optional<std::string> notListProblem(const std::filesystem::path& file,
                                                        std::string_view content);

// Small file steps of the working-file protocol; a missing file is simply not deleted or
// renamed. None follows a failure with a message: what counts is which files exist after.
bool fileExists(const std::filesystem::path& path);
void removeIfExists(const std::filesystem::path& path);
void renameIfExists(const std::filesystem::path& from, const std::filesystem::path& to);
// Copies `from` over `to` directly (never through a command interpreter).
[[nodiscard]] std::error_code copyFile(const std::filesystem::path& from,
                                       const std::filesystem::path& to);

// Moves an earlier result aside and copies the list to the find file and the edit copy: the
// find backup is deleted, the find file becomes the find backup, then the two copies are made.
// When the list is missing, neither copy exists afterwards.
void prepareWorkingCopies(const ListFiles& files);

}  // namespace parvolin::logview
