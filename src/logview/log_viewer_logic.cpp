#include "logview/log_viewer_logic.h"

#include <string>

#include "base/file_io.h"
#include "logview/list_rows.h"

namespace parvolin::logview {

ViewerStep refreshList(const ListFiles& files, bool autoRefresh) {
  removeIfExists(files.find);
  ViewerStep step;
  if (fileExists(files.list)) {
    step.show = files.list;
  } else {
    step.closeViewer = true;
  }
  if (autoRefresh) step.timer = kAutoRefreshPeriod;
  return step;
}

bool sortToFindFile(const ListFiles& files, ListOrder order) {
  prepareWorkingCopies(files);
  removeIfExists(files.findBackup);
  std::string copy;
  bool written = false;
  if (fileExists(files.find) && !base::readWholeFile(files.editCopy, copy)) {
    const std::string result = std::string(listHead(copy)) + sortedRows(listBody(copy), order);
    written = !base::replaceFileContents(files.find, result);
  }
  if (!written) removeIfExists(files.find);
  removeIfExists(files.editCopy);
  return written;
}

ViewerStep sortList(const ListFiles& files, ListOrder order) {
  ViewerStep step;
  if (sortToFindFile(files, order)) {
    step.show = files.find;
  } else {
    step.timer = kAfterEmptySortPeriod;
  }
  return step;
}

ViewerStep afterFileManager(const ListFiles& files, bool autoRefresh) {
  if (fileExists(files.find)) return ViewerStep{files.find, std::nullopt, false};
  ViewerStep step = refreshList(files, autoRefresh);
  step.timer = kAfterFileManagerPeriod;
  return step;
}

void closeViewer(const ListFiles& files) {
  removeIfExists(files.find);
}

}  // namespace parvolin::logview
