#pragma once

#include <sys/types.h>

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <filesystem>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "base/clock.h"
#include "base/diagnostics.h"
#include "base/prompt.h"
#include "control/server.h"
#include "control/target.h"

namespace parvolin::app {

class Recorder;

// A Recorder served on the control socket. The recorder's thread calls beforeTick() and
// afterTick() around each tick: the first hands the socket's list edits to the recorder, the
// second publishes its status. The server's thread reads the status and posts edits; both only
// take a lock for a copy or a push, so a tick never waits for a client.
class RecorderControl final : public parvolin::control::RecorderTarget {
 public:
  RecorderControl(Recorder& recorder, base::Clock& clock);
  ~RecorderControl() override;

  // Opens the socket of the recorder's folder (after Recorder::start()) in the runtime folder,
  // and names it in the folder's lock file. Nothing is opened without a runtime folder. A sentence
  // for the user when it cannot (the recorder runs on without it).
  [[nodiscard]] std::optional<std::string> listen();
  void stop();
  const parvolin::control::ControlServer& server() const { return server_; }

  // On the recorder's thread, before each tick: the edits posted since the last one.
  void beforeTick();
  // On the recorder's thread, after each tick (and once after the opening): the status.
  void afterTick();
  // Publishes the recorder's status as it is now (outside a tick: the opening, the end).
  void publish();
  // A problem the recorder reported (what the window's status line lists).
  void noteProblem(std::string_view text);

  // The status the last afterTick() published.
  parvolin::control::StatusSnapshot status(std::uint64_t* generation = nullptr) const override;
  void requestListEdit(engine::PendingListEdit edit, ListEditDone done) override;
  std::vector<std::string> rowsNotInList() const override;
  void runRetention(bool dryRun, RetentionDone done) override;

 private:
  parvolin::control::StatusSnapshot snapshot();

  Recorder& recorder_;
  base::Clock& clock_;
  std::int64_t startedAt_ = 0;
  std::uint64_t ticks_ = 0;
  std::vector<parvolin::control::ProblemStatus> problems_;  // newest first
  std::optional<std::uint64_t> freeBytes_;
  std::int64_t freeBytesAtMs_ = -1;

  mutable std::mutex mutex_;  // guards the four below
  parvolin::control::StatusSnapshot published_;
  std::uint64_t generation_ = 0;
  std::deque<std::pair<engine::PendingListEdit, ListEditDone>> inbox_;
  std::deque<std::pair<bool, RetentionDone>> retentionInbox_;  // dry run, whom to tell

  std::filesystem::path servedFolder_;
  parvolin::control::ControlServer server_;
};

// Passes every problem on, and notes it for the control socket's status.
class ProblemTap final : public base::Diagnostics, public base::Prompt {
 public:
  ProblemTap(base::Diagnostics& diagnostics, base::Prompt& prompt)
      : diagnostics_(diagnostics), prompt_(prompt) {}
  void attach(RecorderControl* control) { control_ = control; }

  void report(std::string_view text) override {
    if (control_) control_->noteProblem(text);
    diagnostics_.report(text);
  }
  void message(std::string_view text, base::PromptIcon icon) override {
    if (control_) control_->noteProblem(text);
    prompt_.message(text, icon);
  }
  bool askYesNo(std::string_view text, bool safeAnswer, base::PromptIcon icon) override {
    return prompt_.askYesNo(text, safeAnswer, icon);
  }
  bool askOkCancel(std::string_view text, bool safeAnswer, base::PromptIcon icon) override {
    return prompt_.askOkCancel(text, safeAnswer, icon);
  }

 private:
  base::Diagnostics& diagnostics_;
  base::Prompt& prompt_;
  RecorderControl* control_ = nullptr;
};

}  // namespace parvolin::app
