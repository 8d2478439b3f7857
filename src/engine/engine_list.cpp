// The HTML list: rows handed to the list writer, its rewrites polled, the edits applied.

#include <utility>

#include "engine/engine.h"
#include "engine/list_recovery.h"

namespace parvolin::engine {

void Engine::followListPath() {
  // Runs at every tick: the list's path is made again only when its name (the settings may
  // change at any time) or the folder has changed.
  if (followedListName_ == settings_.lvLogHtmlName) return;
  followedListName_ = settings_.lvLogHtmlName;
  const std::filesystem::path path = listPath();
  if (listWriter_->listPath() != path) listWriter_->setListPath(path);
}

int Engine::nextItemNumber() {
  const std::size_t waiting = listWriter_->pendingRows();
  if (waiting == 0) {
    // A list that is not there is made anew: its first row is 1, whatever was counted before.
    std::error_code error;
    if (!std::filesystem::exists(listPath(), error) && !error) return 1;
  }
  if (counters_.rowCountCache != -1) return counters_.rowCountCache + 1;
  if (waiting != 0) return listWriter_->newestPendingItem() + 1;
  return firstItemNumberOfList(listPath()) + 1;
}

void Engine::pollList() {
  followListPath();
  listWriter_->poll(clock_.monotonicMs());
  noteListWrites();
}

void Engine::flushList() {
  followListPath();
  // A failure is noted, and reported, from the writer's state.
  [[maybe_unused]] const std::error_code flushed = listWriter_->flush(clock_.monotonicMs());
  noteListWrites();
}

void Engine::noteListWrites() {
  const bool failing = listWriter_->failing();
  if (failing) {
    failures_.report(settings_.lvLogHtmlName, FileFailure::kWriteList,
                     base::describeFailure(listPath(), "add the call", listWriter_->lastError()));
  } else if (listWriter_->rewrites() != listRewritesSeen_) {
    failures_.worked(settings_.lvLogHtmlName, FileFailure::kWriteList);
  }
  listRewritesSeen_ = listWriter_->rewrites();
  if (failing != listFailing_) {
    listFailing_ = failing;
    showCounters();
  }
}

void Engine::setFolder(std::filesystem::path folder) {
  flushList();
  folder_ = std::move(folder);
  followedListName_.reset();
  followListPath();
  restoreRows();
}

void Engine::restoreRows() {
  if (!settings_.has(kHtmlListOn)) return;
  const RowRestore restored = restoreMissingRows(folder_, listPath(), settings_.has(kWavFormat));
  if (restored.error) {
    diagnostics_.report(
        base::describeFailure(listPath(), "add the rows of the calls logged", restored.error));
  } else if (restored.rows != 0) {
    diagnostics_.report(settings_.lvLogHtmlName + ": " + std::to_string(restored.rows) +
                        " rows of logged calls put back");
  }
}

void Engine::applyListEdit() {
  collectEditResult();
  if (!pendingListEdit_.isPending() || editInWriter_.isPending()) return;
  if (pendingListEdit_.deleteAll) {
    // Clearing the folder must see the recordings in use as they stand, so it is done here,
    // after every waiting row went into the list (the one edit a tick waits for).
    flushList();
    std::vector<std::string> inUse;
    for (const PortState& port : ports_) {
      if (port.audioFile.isOpen() && port.audioFolder == folder_) {
        inUse.push_back(port.audioFileName);
      }
    }
    const ListEditResult result =
        applyPendingListEdit(folder_, listPath(), pendingListEdit_, inUse);
    finishListEdit(result, result.applied ? std::exchange(listEditDone_, {}) : ListEditDone{});
    return;
  }
  if (listWriter_->busy()) return;
  editInWriter_ = std::exchange(pendingListEdit_, {});
  editInWriterDone_ = std::exchange(listEditDone_, {});
  followListPath();
  listWriter_->startEdit(editInWriter_, folder_, clock_.monotonicMs());
  collectEditResult();
}

void Engine::collectEditResult() {
  if (!editInWriter_.isPending()) return;
  std::optional<ListEditResult> result = listWriter_->takeEditResult();
  if (!result) return;
  PendingListEdit edit = std::exchange(editInWriter_, {});
  ListEditDone done = std::exchange(editInWriterDone_, {});
  if (!result->applied) {
    if (pendingListEdit_.isPending()) {
      // A later request took its place while it was tried.
      if (done) {
        ListEditResult replaced;
        replaced.error = std::make_error_code(std::errc::operation_canceled);
        done(replaced);
      }
    } else {
      // Tried again on the next tick.
      pendingListEdit_ = std::move(edit);
      listEditDone_ = std::move(done);
    }
    done = {};
  }
  finishListEdit(*result, std::move(done));
}

void Engine::finishListEdit(const ListEditResult& result, ListEditDone done) {
  noteListWrites();
  const std::string listName = settings_.lvLogHtmlName;
  if (result.error) {
    failures_.report(listName, FileFailure::kEditList,
                     base::describeFailure(listPath(), "apply the edit", result.error));
  } else {
    failures_.worked(listName, FileFailure::kEditList);
  }
  for (const std::filesystem::path& file : result.undeleted) {
    diagnostics_.report(file.filename().string() + ": cannot delete");
  }
  counters_.loggedItems = -1;
  counters_.loggedBlocks = -1;
  recount();
  // Told last, so that the list and the figures are up to date when the requester looks.
  if (done) done(result);
}

}  // namespace parvolin::engine
