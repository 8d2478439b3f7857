#pragma once

#include <vector>

#include <string>

#include <cstdint>
#include <functional>

#include "control/status.h"
#include "engine/html_list.h"
#include "engine/retention.h"

namespace parvolin::control {

// The control server's view of a running recorder. The server calls it from its own thread;
// the recorder's side keeps every call short (a copy under a lock, a post into an inbox), so
// that no client can hold up a tick.
class RecorderTarget {
 public:
  using ListEditDone = std::function<void(const engine::ListEditResult&)>;

  virtual ~RecorderTarget() = default;
  // Thread-safe: the status as the last tick left it. `generation`, when given, receives a number
  // that grows with every change of the status other than its tick count.
  virtual StatusSnapshot status(std::uint64_t* generation = nullptr) const = 0;
  // Thread-safe: hands `edit` to a later tick of the recorder, which applies it exactly as one
  // from the file manager (Engine::requestListEdit). `done` is called once, on the recorder's
  // thread: with the tick's result, or with std::errc::operation_canceled when another edit
  // replaced it first, or when the recorder ended before.
  virtual void requestListEdit(engine::PendingListEdit edit, ListEditDone done) = 0;
  // Thread-safe: the rows of calls kept but not yet in the list file, newest first (see
  // engine::ListWriter::rowsNotInList). An edit is planned on the list with them in it.
  virtual std::vector<std::string> rowsNotInList() const { return {}; }
  // Thread-safe: runs a retention pass on a later tick (Engine::runRetention); `done` is called
  // once, on the recorder's thread, with its report.
  using RetentionDone = std::function<void(const engine::RetentionReport&)>;
  virtual void runRetention(bool dryRun, RetentionDone done) {
    engine::RetentionReport report;
    report.dryRun = dryRun;
    report.error = "this recorder runs no retention pass";
    done(report);
  }
};

}  // namespace parvolin::control
