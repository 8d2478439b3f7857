#include "engine/list_writer.h"

#include <algorithm>
#include <utility>

#include "base/file_io.h"
#include "engine/recording_files.h"

namespace parvolin::engine {

std::error_code prependRows(const std::filesystem::path& listPath,
                            const std::vector<std::string>& rows, std::uint64_t& listBytes) {
  std::string list;
  std::error_code error = base::readWholeFile(listPath, list);
  if (error == std::errc::no_such_file_or_directory) {
    list.assign(kHtmlHeader);
  } else if (error) {
    return error;
  } else if (list.size() < kHtmlHeaderSize) {
    // A file too short for the header holds no row; it gets the header it lacks.
    list.assign(kHtmlHeader);
  }
  std::size_t rowBytes = 0;
  for (const std::string& row : rows) rowBytes += row.size();
  std::string out;
  out.reserve(list.size() + rowBytes);
  out.append(list, 0, kHtmlHeaderSize);
  for (auto it = rows.rbegin(); it != rows.rend(); ++it) out += *it;
  out.append(list, kHtmlHeaderSize);
  error = base::replaceFileContents(listPath, out);
  if (!error) listBytes = out.size();
  return error;
}

ListWriter::ListWriter(std::filesystem::path listPath, ListWriteBudget budget, ListWrites mode)
    : path_(std::move(listPath)), budget_(budget), mode_(mode) {
  if (mode_ == ListWrites::kOwnThread) thread_ = std::thread([this] { workerLoop(); });
}

ListWriter::~ListWriter() {
  std::int64_t now;
  {
    std::lock_guard lock(mutex_);
    now = lastStartMs_;
  }
  // A failure stays in failing() and lastError().
  [[maybe_unused]] const std::error_code flushed = flush(now);
  if (thread_.joinable()) {
    {
      std::lock_guard lock(mutex_);
      stop_ = true;
    }
    wake_.notify_one();
    thread_.join();
  }
}

void ListWriter::setListPath(std::filesystem::path listPath) {
  if (listPath == path_) return;
  std::int64_t now;
  {
    std::lock_guard lock(mutex_);
    now = lastStartMs_;
  }
  // A failure stays in failing() and lastError().
  [[maybe_unused]] const std::error_code flushed = flush(now);
  std::lock_guard lock(mutex_);
  path_ = std::move(listPath);
  // The next list's size is not known; the first rewrite into it only waits for delayMs.
  started_ = false;
  lastListBytes_ = 0;
}

void ListWriter::add(std::string row, std::int64_t nowMs) {
  std::lock_guard lock(mutex_);
  pending_.push_back({std::move(row), nowMs});
}

bool ListWriter::dueLocked(std::int64_t nowMs) const {
  if (pending_.empty() || busy_) return false;
  std::int64_t due = pending_.front().arrivedMs + budget_.delayMs;
  if (started_ && budget_.bytesPerSecond > 0) {
    const std::int64_t spacing =
        std::int64_t(lastListBytes_ * 1000 / std::uint64_t(budget_.bytesPerSecond));
    due = std::max(due, lastStartMs_ + spacing);
  }
  return nowMs >= due;
}

void ListWriter::poll(std::int64_t nowMs) {
  std::unique_lock lock(mutex_);
  if (dueLocked(nowMs)) startLocked(nowMs, lock);
}

void ListWriter::startLocked(std::int64_t nowMs, std::unique_lock<std::mutex>& lock,
                             std::optional<PendingListEdit> edit, std::filesystem::path folder) {
  Job job;
  job.list = path_;
  job.rows.reserve(pending_.size());
  for (const Pending& p : pending_) job.rows.push_back(p.row);
  job.edit = std::move(edit);
  job.folder = std::move(folder);
  busy_ = true;
  lastStartMs_ = nowMs;
  started_ = true;
  if (mode_ == ListWrites::kOwnThread) {
    job_ = std::move(job);
    wake_.notify_one();
    return;
  }
  lock.unlock();
  run(job);
  lock.lock();
}

void ListWriter::workerLoop() {
  std::unique_lock lock(mutex_);
  for (;;) {
    wake_.wait(lock, [this] { return stop_ || job_.has_value(); });
    if (job_) {
      const Job job = std::move(*job_);
      job_.reset();
      lock.unlock();
      run(job);
      lock.lock();
      continue;
    }
    if (stop_) return;
  }
}

void ListWriter::run(const Job& job) {
  if (job.task) {
    job.task();
    std::lock_guard lock(mutex_);
    taskRunning_ = false;
    busy_ = false;
    idle_.notify_all();
    return;
  }
  std::uint64_t bytes = 0;
  std::error_code error;
  if (!job.rows.empty()) error = prependRows(job.list, job.rows, bytes);
  std::optional<ListEditResult> editResult;
  if (job.edit) {
    if (error) {
      editResult.emplace();
      editResult->error = error;
    } else {
      PendingListEdit edit = *job.edit;
      editResult = applyPendingListEdit(job.folder, job.list, edit);
      std::error_code sizeError;
      const std::uintmax_t size = std::filesystem::file_size(job.list, sizeError);
      bytes = sizeError ? 0 : size;
    }
  }
  std::lock_guard lock(mutex_);
  if (!job.rows.empty()) {
    lastError_ = error;
    if (!error) {
      pending_.erase(pending_.begin(), pending_.begin() + std::ptrdiff_t(job.rows.size()));
      ++rewrites_;
    }
  }
  if (!error) lastListBytes_ = bytes;
  if (job.edit) {
    editResult_ = std::move(editResult);
    editRunning_ = false;
  }
  busy_ = false;
  idle_.notify_all();
}

void ListWriter::waitIdle(std::unique_lock<std::mutex>& lock) {
  idle_.wait(lock, [this] { return !busy_; });
}

std::error_code ListWriter::flush(std::int64_t nowMs) {
  std::unique_lock lock(mutex_);
  waitIdle(lock);
  if (pending_.empty()) return {};
  startLocked(nowMs, lock);
  waitIdle(lock);
  return pending_.empty() ? std::error_code() : lastError_;
}

void ListWriter::startEdit(const PendingListEdit& edit, std::filesystem::path folder,
                           std::int64_t nowMs) {
  std::unique_lock lock(mutex_);
  waitIdle(lock);
  editRunning_ = true;
  editResult_.reset();
  startLocked(nowMs, lock, edit, std::move(folder));
}

bool ListWriter::editRunning() const {
  std::lock_guard lock(mutex_);
  return editRunning_;
}

bool ListWriter::busy() const {
  std::lock_guard lock(mutex_);
  return busy_;
}

bool ListWriter::startTask(std::function<void()> task) {
  std::unique_lock lock(mutex_);
  if (busy_) return false;
  Job job;
  job.task = std::move(task);
  busy_ = true;
  taskRunning_ = true;
  if (mode_ == ListWrites::kOwnThread) {
    job_ = std::move(job);
    wake_.notify_one();
    return true;
  }
  lock.unlock();
  run(job);
  return true;
}

bool ListWriter::taskRunning() const {
  std::lock_guard lock(mutex_);
  return taskRunning_;
}

std::optional<ListEditResult> ListWriter::takeEditResult() {
  std::lock_guard lock(mutex_);
  return std::exchange(editResult_, std::nullopt);
}

std::vector<std::string> ListWriter::rowsNotInList() const {
  std::lock_guard lock(mutex_);
  std::vector<std::string> rows;
  rows.reserve(pending_.size());
  for (auto it = pending_.rbegin(); it != pending_.rend(); ++it) rows.push_back(it->row);
  return rows;
}

std::size_t ListWriter::pendingRows() const {
  std::lock_guard lock(mutex_);
  return pending_.size();
}

int ListWriter::newestPendingItem() const {
  std::lock_guard lock(mutex_);
  return pending_.empty() ? 0 : readItemNumber(pending_.back().row, kRowItemOffset);
}

bool ListWriter::failing() const {
  std::lock_guard lock(mutex_);
  return bool(lastError_) && !pending_.empty();
}

std::error_code ListWriter::lastError() const {
  std::lock_guard lock(mutex_);
  return lastError_;
}

std::uint64_t ListWriter::rewrites() const {
  std::lock_guard lock(mutex_);
  return rewrites_;
}

std::string listWithWaitingRows(std::string_view file, const std::vector<std::string>& waiting) {
  std::size_t bodyStart = htmlHeaderEnd(file);
  std::string list;
  if (bodyStart == 0) {
    // No list yet (or not one the writer would add to): the rows go under a new header.
    list = kHtmlHeader;
    file = {};
  } else {
    list = file.substr(0, bodyStart);
  }
  const int newestInFile = bodyStart == 0 ? 0 : readItemNumber(file, bodyStart + kRowItemOffset);
  for (const std::string& row : waiting) {
    if (readItemNumber(row, kRowItemOffset) <= newestInFile) continue;
    list += row;
  }
  list += file.substr(std::min(bodyStart, file.size()));
  return list;
}

}  // namespace parvolin::engine
