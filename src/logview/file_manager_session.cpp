#include "logview/file_manager_session.h"

#include <cstdio>
#include <system_error>

#include "base/file_io.h"
#include "logview/list_edits.h"

namespace parvolin::logview {

using base::PromptIcon;

const std::string_view kFileManagerHelp =
    "HELP: \n\n"
    "Use EDIT form to select any item of the general list to edit. Up to 40 characters can be "
    "edited.\n\n"
    "Use SEARCH form to search items containing specific strings among the date range,\n"
    "Searched result will hold the main display list until a manual \"Refresh\", another "
    "\"SEARCH\" or \"EDIT\".\n\n"
    "Use Batch Wave Conversion to convert wave files in a batch,\n"
    "If the displayed list is the main list, all the available items in the list will be "
    "converted,\n"
    "If the displayed list is the searched results, all the searched items in the list will be "
    "converted,\n"
    "Converted wave files will be placed in a folder named \"WaveFolderXX\", under your current "
    "log folder,\n"
    "Where XX will be increase each time by 1 and rounded within 00 to 99.\n\n"
    "Use DELETE buttons to delete item(s) from the general list. There are 3 delete options.\n"
    "\tOption 1: Delete Item --- Single item pointed by the \"Item#\" form.\n"
    "\tOption 2: Delete Range --- Item(s) ranged by \"Item#\" and \"Range Delete To\" forms.\n"
    "\tOption 3: Delete All --- Everything in the logger.";

const std::string_view kNoItemsMessage =
    "The list holds no calls: there is no item to edit or delete.";

const std::string_view kDeleteAllQuestion =
    "Confirm: Do you really want to delete all items in the list permanently?";
const std::string_view kDeleteAllLastQuestion =
    "Last Time Confirm: This unrecoverable operation will erase everthing permanently, are you "
    "sure to continue?";

std::string deleteItemQuestion(int item) {
  char text[128];
  std::snprintf(text, sizeof text,
                "Confirm: Do you really want to delete Item #%d from the list permanently?", item);
  return text;
}

std::string deleteRangeQuestion(int item, int rangeEnd) {
  if (item == rangeEnd) return deleteItemQuestion(item);
  char text[160];
  std::snprintf(text, sizeof text,
                "Confirm: Do you really want to delete Items in the range of (#%d-#%d) from the "
                "list permanently?",
                item, rangeEnd);
  return text;
}

FileManagerSession::FileManagerSession(ListFiles files, ListEditSubmitter& edits,
                                       base::Prompt& prompt)
    : files_(std::move(files)), edits_(edits), prompt_(prompt) {
  prepareWorkingCopies(files_);
  // No list, or one that cannot be read: no rows, latest item 0.
  if (base::readWholeFile(files_.editCopy, copy_)) copy_.clear();
  rows_ = parseRows(listBody(copy_));
  latestItem_ = logview::latestItem(rows_);
}

Outcome FileManagerSession::search(const SearchFields& fields) {
  removeIfExists(files_.findBackup);
  const std::string result =
      std::string(listHead(copy_)) + matchingRows(listBody(copy_), fields.query());
  if (base::replaceFileContents(files_.find, result)) removeIfExists(files_.find);
  removeIfExists(files_.editCopy);
  return Outcome::kClosed;
}

Outcome FileManagerSession::editItem(int item, const AskEditText& ask) {
  if (refuseWithoutRows()) return Outcome::kStaysOpen;
  removeIfExists(files_.findBackup);
  if (const ListRow* row = findItem(rows_, item)) {
    const EditItemFields fields{row->item,
                                std::string(row->port),
                                std::string(row->type),
                                std::string(row->trimmedText()),
                                std::string(row->dateTime),
                                std::string(row->duration)};
    const std::optional<std::string> text = ask(fields);
    if (text && *text != fields.text) {
      if (const auto problem = editTextProblem(*text, fields.text)) {
        prompt_.message(*problem, PromptIcon::Exclamation);
      } else {
        handOver(textEdit(*row, *text));
      }
    }
  }
  endWithoutResult();
  return Outcome::kClosed;
}

Outcome FileManagerSession::deleteItem(int item) {
  if (refuseWithoutRows()) return Outcome::kStaysOpen;
  if (!prompt_.askYesNo(deleteItemQuestion(item), false)) return Outcome::kStaysOpen;
  removeIfExists(files_.findBackup);
  handOver(deleteItemEdit(rows_, item));
  endWithoutResult();
  return Outcome::kClosed;
}

Outcome FileManagerSession::deleteRange(int item, int rangeEnd) {
  if (refuseWithoutRows()) return Outcome::kStaysOpen;
  if (rangeCoversAll(item, rangeEnd, latestItem_)) return deleteAll();
  if (!prompt_.askYesNo(deleteRangeQuestion(item, rangeEnd), false)) return Outcome::kStaysOpen;
  removeIfExists(files_.findBackup);
  handOver(deleteRangeEdit(rows_, item, rangeEnd));
  endWithoutResult();
  return Outcome::kClosed;
}

Outcome FileManagerSession::deleteAll() {
  if (refuseWithoutRows()) return Outcome::kStaysOpen;
  if (!prompt_.askYesNo(kDeleteAllQuestion, false) ||
      !prompt_.askYesNo(kDeleteAllLastQuestion, false)) {
    return Outcome::kStaysOpen;
  }
  removeIfExists(files_.findBackup);
  handOver(deleteAllEdit(listBody(copy_)));
  endWithoutResult();
  return Outcome::kClosed;
}

BatchResult runBatch(const BatchJob& job, const BatchProgress& progress) {
  return convertBatch(job.list, job.recordingFolder, job.batchFolder, job.davaLevel, progress);
}

Outcome FileManagerSession::batchWaveConversion(int davaLevel, const BatchProgress& progress) {
  const std::optional<BatchJob> job = prepareBatch(davaLevel);
  if (!job) return Outcome::kClosed;
  return finishBatch(runBatch(*job, progress));
}

std::optional<BatchJob> FileManagerSession::prepareBatch(int davaLevel) {
  // The list the viewer showed: the earlier result, or else the copy of the whole list.
  const std::filesystem::path& shown =
      fileExists(files_.findBackup) ? files_.findBackup : files_.find;
  BatchJob job;
  job.davaLevel = davaLevel;
  if (base::readWholeFile(shown, job.list)) job.list.clear();

  job.recordingFolder = files_.folder();
  const std::optional<std::filesystem::path> batchFolder = makeBatchFolder(job.recordingFolder);
  if (!batchFolder) {
    prompt_.message(noBatchFolderMessage(job.recordingFolder), PromptIcon::Exclamation);
  } else if (!prompt_.askOkCancel(batchFolderQuestion(*batchFolder, job.recordingFolder), false,
                                  PromptIcon::Exclamation)) {
    std::error_code ignored;
    std::filesystem::remove(*batchFolder, ignored);
  } else {
    job.batchFolder = *batchFolder;
    return job;
  }
  exit();
  return std::nullopt;
}

Outcome FileManagerSession::finishBatch(const BatchResult& result) {
  if (result.status == BatchResult::Status::kNoMemory) {
    prompt_.message(kBatchNoMemory, PromptIcon::Exclamation);
  }
  const std::string skipped = batchSkippedMessage(result);
  if (!skipped.empty()) prompt_.message(skipped, PromptIcon::Exclamation);
  exit();
  return Outcome::kClosed;
}

void FileManagerSession::exit() {
  removeIfExists(files_.editCopy);
  removeIfExists(files_.find);
  renameIfExists(files_.findBackup, files_.find);
}

void FileManagerSession::showHelp() {
  prompt_.message(kFileManagerHelp);
}

bool FileManagerSession::refuseWithoutRows() {
  if (!rows_.empty()) return false;
  prompt_.message(kNoItemsMessage, PromptIcon::Information);
  return true;
}

void FileManagerSession::handOver(const std::optional<engine::PendingListEdit>& edit) {
  if (edit) edits_.submitListEdit(*edit);
}

void FileManagerSession::endWithoutResult() {
  removeIfExists(files_.find);
  removeIfExists(files_.editCopy);
}

}  // namespace parvolin::logview
