#pragma once

// The file manager's operations over its working files. Opening it moves the viewer's current
// result (the find file) aside as the find backup and copies the list to the find file and the
// edit copy; every operation then ends the session, leaving the working files as the viewer
// expects them: a search leaves its result as the find file, an edit or delete leaves none,
// and Exit (also after a batch conversion) brings the earlier result back.
//
// Changes of the list are never written here: they go to the ListEditSubmitter as
// PendingListEdits. Questions and messages go through the Prompt.

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "base/prompt.h"
#include "logview/batch_wave.h"
#include "logview/file_manager_fields.h"
#include "logview/list_edit_submitter.h"
#include "logview/list_files.h"
#include "logview/list_rows.h"

namespace parvolin::logview {

extern const std::string_view kFileManagerHelp;
extern const std::string_view kNoItemsMessage;

// What the edit dialog shows of a call.
struct EditItemFields {
  int item = 0;
  std::string port;
  std::string type;
  std::string text;  // without its trailing blanks
  std::string dateTime;
  std::string duration;
};

// Runs the edit dialog: the text the user chose, or nullopt after Cancel.
using AskEditText = std::function<std::optional<std::string>(const EditItemFields&)>;

// Whether the operation ended the file manager (a No to a question leaves it open).
enum class Outcome { kStaysOpen, kClosed };

// A batch conversion the user agreed to: what convertBatch is to run, on any thread.
struct BatchJob {
  std::string list;  // the bytes of the list the viewer showed
  std::filesystem::path recordingFolder;
  std::filesystem::path batchFolder;
  int davaLevel = 0;
};

BatchResult runBatch(const BatchJob& job, const BatchProgress& progress = {});

class FileManagerSession {
 public:
  // Opens the session (the working-file set-up above); `edits` and `prompt` must outlive it.
  FileManagerSession(ListFiles files, ListEditSubmitter& edits, base::Prompt& prompt);

  // The newest row's item number, read when the session opened; 0 without rows.
  int latestItem() const { return latestItem_; }
  bool hasRows() const { return !rows_.empty(); }
  const ListFiles& files() const { return files_; }

  // Writes the matching rows under the list's header as the find file.
  Outcome search(const SearchFields& fields);
  // Edits the text of the first row numbered `item` through `ask`; an unchanged text or Cancel
  // hands nothing over. An item that no row has ends the session without a change.
  Outcome editItem(int item, const AskEditText& ask);
  Outcome deleteItem(int item);
  // A range from the newest item to 1 is Delete All, with its questions.
  Outcome deleteRange(int item, int rangeEnd);
  Outcome deleteAll();
  // Converts the calls of the list the viewer showed (the earlier result when there was one,
  // else the whole list) into a new WaveFolderXX, then ends as Exit does.
  Outcome batchWaveConversion(int davaLevel, const BatchProgress& progress = {});
  // The same in two steps around the conversion, so that it can run off the window's thread:
  // the batch folder is made and the question asked; nullopt when there is nothing to convert
  // (no folder could be made, or the user said Cancel), and the session has then ended as
  // Exit. finishBatch says what the batch skipped and ends the session as Exit.
  std::optional<BatchJob> prepareBatch(int davaLevel);
  Outcome finishBatch(const BatchResult& result);
  // Leaves without a change: the earlier result, if any, becomes the find file again.
  void exit();

  // The message box of "Help".
  void showHelp();

 private:
  // An item operation on a list without rows: says so and changes nothing.
  bool refuseWithoutRows();
  void handOver(const std::optional<engine::PendingListEdit>& edit);
  // Deletes the find file and the edit copy: the viewer then shows the list.
  void endWithoutResult();

  ListFiles files_;
  ListEditSubmitter& edits_;
  base::Prompt& prompt_;
  std::string copy_;  // the edit copy's bytes; rows_ point into them
  std::vector<ListRow> rows_;
  int latestItem_ = 0;
};

// The confirmation texts of the delete commands.
std::string deleteItemQuestion(int item);
std::string deleteRangeQuestion(int item, int rangeEnd);
extern const std::string_view kDeleteAllQuestion;
extern const std::string_view kDeleteAllLastQuestion;

}  // namespace parvolin::logview
