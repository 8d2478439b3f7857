#pragma once

// The HTML list's rewrites, off the poll tick and on a budget of bytes written.
//
// Kept calls hand their finished rows (numbered by the engine when the call was kept) to the
// writer; the writer puts them at the top of the list in one rewrite when one is due: no earlier
// than `delayMs` after the oldest waiting row arrived, and no earlier than the list's size over
// `bytesPerSecond` after the previous rewrite began. A small list is thus rewritten a couple of
// seconds after a call ends, a large one less often, and the list's rewrites never write more
// than about `bytesPerSecond` on average. A row that waits is not at risk: the call log, appended
// and synced when the call was kept, holds its call, and restoreMissingRows puts it back after a
// crash.
//
// Threads: the owner (the engine's thread) calls every operation; the rewrites run on a thread of
// the writer's own (or, with ListWrites::kInCaller, inside poll and flush). rowsNotInList,
// pendingRows, newestPendingItem, failing, lastError and rewrites may be called from any thread:
// they take the writer's mutex, which a rewrite holds only to take its rows and to hand back its
// result, never while it waits for the disk.

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <filesystem>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>
#include <thread>
#include <vector>

#include "engine/html_list.h"

namespace parvolin::engine {

struct ListWriteBudget {
  // A row waits at least this long, so that calls ending close together share a rewrite.
  std::int64_t delayMs = 2'000;
  // The list's rewrites write at most this much a second on average. 64 KiB/s is half the audio
  // of 16 lines in the 8-bit modes (16 x 8000 bytes/s): a list below 128 KiB (about 750 rows) is
  // rewritten within delayMs of a call's end; one of 65,000 rows (about 11 MB) about every three
  // minutes; the list never writes more than the calls' audio while all lines are busy.
  std::int64_t bytesPerSecond = 64 * 1024;

  // Every row written at the first chance (a rewrite per poll tick that kept a call).
  static ListWriteBudget immediate() { return {0, 0}; }
};

enum class ListWrites {
  kOwnThread,  // the rewrites run on the writer's thread; the caller never waits for them
  kInCaller,   // poll and flush rewrite in the calling thread (tests, tools that want order)
};

// The list as it will stand once `waiting` (ListWriter::rowsNotInList, newest first) is written:
// `file` (the list's bytes, read after the rows were taken) with those of the rows that a rewrite
// did not already put in it (item numbers above the file's newest) at the top of its body, and the
// header when the file has none yet. What a reader that must see every kept call reads.
std::string listWithWaitingRows(std::string_view file, const std::vector<std::string>& waiting);

class ListWriter {
 public:
  explicit ListWriter(std::filesystem::path listPath, ListWriteBudget budget = {},
                      ListWrites mode = ListWrites::kOwnThread);
  // Writes what waits (one last try) and stops the thread.
  ~ListWriter();

  ListWriter(const ListWriter&) = delete;
  ListWriter& operator=(const ListWriter&) = delete;

  const std::filesystem::path& listPath() const { return path_; }
  // Writes what waits into the old list first (see flush), then writes to `listPath`.
  void setListPath(std::filesystem::path listPath);

  // A kept call's row, "\r\n" included, arrived at `nowMs` (the engine's monotonic clock).
  void add(std::string row, std::int64_t nowMs);
  // Starts a rewrite when one is due at `nowMs` and none is running; never waits for the disk.
  void poll(std::int64_t nowMs);
  // Writes every waiting row now and waits until that rewrite is over; at `nowMs`. Returns the
  // error of that rewrite (empty when nothing waits any more).
  [[nodiscard]] std::error_code flush(std::int64_t nowMs);

  // Hands an edit over: it is applied to the list with every waiting row in it (those rows are
  // written first). One edit at a time; its result comes back through takeEditResult.
  void startEdit(const PendingListEdit& edit, std::filesystem::path folder, std::int64_t nowMs);
  bool editRunning() const;
  // A rewrite or an edit is under way.
  bool busy() const;
  // Work that reads the list, off the poll tick: `task` runs on the writer's thread (inside this
  // call with kInCaller) with the list file as the writer left it, never beside a rewrite. False,
  // with nothing started, while a rewrite, an edit or another task is under way.
  [[nodiscard]] bool startTask(std::function<void()> task);
  bool taskRunning() const;
  std::optional<ListEditResult> takeEditResult();

  // Any thread: the rows kept but not yet in the file, newest first.
  std::vector<std::string> rowsNotInList() const;
  std::size_t pendingRows() const;
  // The item number of the newest waiting row; 0 when none waits.
  int newestPendingItem() const;
  // The last rewrite failed (its rows still wait), and why.
  bool failing() const;
  std::error_code lastError() const;
  // Rewrites that went through.
  std::uint64_t rewrites() const;

 private:
  struct Job {
    std::filesystem::path list;
    std::vector<std::string> rows;  // the oldest waiting rows, oldest first
    std::optional<PendingListEdit> edit;
    std::filesystem::path folder;
    std::function<void()> task;  // a job with a task carries nothing else
  };

  bool dueLocked(std::int64_t nowMs) const;
  // Hands the waiting rows (and `edit`, applied in `folder`) to a rewrite.
  void startLocked(std::int64_t nowMs, std::unique_lock<std::mutex>& lock,
                   std::optional<PendingListEdit> edit = std::nullopt,
                   std::filesystem::path folder = {});
  void run(const Job& job);
  void workerLoop();
  void waitIdle(std::unique_lock<std::mutex>& lock);

  std::filesystem::path path_;
  ListWriteBudget budget_;
  ListWrites mode_;

  mutable std::mutex mutex_;
  std::condition_variable wake_;  // a job for the thread, or stop
  std::condition_variable idle_;  // a job is over
  struct Pending {
    std::string row;
    std::int64_t arrivedMs;
  };
  std::deque<Pending> pending_;  // oldest first
  std::optional<Job> job_;       // handed to the thread, not yet taken
  bool busy_ = false;            // a job is handed over or running
  bool stop_ = false;
  std::int64_t lastStartMs_ = 0;
  bool started_ = false;  // a rewrite has begun at least once
  std::uint64_t lastListBytes_ = 0;
  std::error_code lastError_;
  std::uint64_t rewrites_ = 0;
  bool editRunning_ = false;
  bool taskRunning_ = false;
  std::optional<ListEditResult> editResult_;
  std::thread thread_;
};

// Puts `rows` (oldest first, numbered, "\r\n" included) at the top of the list at `listPath`
// in one atomic rewrite, the newest on top; a list that does not exist is made with its header.
// A list that is there but cannot be read is never replaced. Returns the list's new size.
[[nodiscard]] std::error_code prependRows(const std::filesystem::path& listPath,
                                          const std::vector<std::string>& rows,
                                          std::uint64_t& listBytes);

}  // namespace parvolin::engine
