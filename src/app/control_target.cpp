#include "app/control_target.h"

#include <grp.h>

#include <system_error>

#include "app/recorder.h"
#include "base/folder_lock.h"
#include "base/program_text.h"
#include "control/socket_path.h"
#include "engine/recording_files.h"

namespace parvolin::app {

namespace ctl = parvolin::control;

namespace {

// The disk's free space is asked for at most this often.
constexpr std::int64_t kFreeSpaceEveryMs = 5000;
// The group whose members may use the service's socket.
constexpr char kServiceGroup[] = "parvolin";

}  // namespace

RecorderControl::RecorderControl(Recorder& recorder, base::Clock& clock)
    : recorder_(recorder), clock_(clock), startedAt_(clock.wallSeconds()), server_(*this) {}

RecorderControl::~RecorderControl() {
  stop();
  // Edits no tick will apply any more are told so.
  std::deque<std::pair<engine::PendingListEdit, ListEditDone>> left;
  {
    std::lock_guard lock(mutex_);
    left.swap(inbox_);
  }
  engine::ListEditResult cancelled;
  cancelled.error = std::make_error_code(std::errc::operation_canceled);
  for (auto& [edit, done] : left) {
    if (done) done(cancelled);
  }
  std::deque<std::pair<bool, RetentionDone>> passes;
  {
    std::lock_guard lock(mutex_);
    passes.swap(retentionInbox_);
  }
  for (auto& [dryRun, done] : passes) {
    engine::RetentionReport report;
    report.dryRun = dryRun;
    report.error = "the recorder ended first";
    if (done) done(report);
  }
}

std::optional<std::string> RecorderControl::listen() {
  stop();
  const std::filesystem::path folder = recorder_.recordingFolder();
  if (folder.empty()) return std::string("the control socket needs a recording folder");
  // Without a runtime folder of its own (a plain shell, a test) the recorder has no socket.
  const auto runtime = ctl::runtimeFolder();
  if (!runtime) return std::nullopt;
  const auto socket = ctl::socketPathFor(*runtime, folder);
  if (!socket) return "no control socket: " + runtime->string() + " is too long a path";
  std::optional<gid_t> group;
  if (ctl::runsAsService()) {
    if (const struct group* entry = ::getgrnam(kServiceGroup)) group = entry->gr_gid;
  }
  publish();  // the first status, before anybody can ask
  if (auto problem = server_.start(*socket, group)) return "no control socket: " + *problem;
  servedFolder_ = folder;
  if (!ctl::nameSocketInLock(folder, *socket)) {
    return "the control socket " + socket->string() + " could not be named in " +
           (folder / base::kFolderLockName).string();
  }
  return std::nullopt;
}

void RecorderControl::stop() {
  server_.stop();
  servedFolder_.clear();
}

void RecorderControl::beforeTick() {
  std::deque<std::pair<engine::PendingListEdit, ListEditDone>> posted;
  {
    std::lock_guard lock(mutex_);
    posted.swap(inbox_);
  }
  for (auto& [edit, done] : posted) recorder_.requestListEdit(std::move(edit), std::move(done));
  std::deque<std::pair<bool, RetentionDone>> passes;
  {
    std::lock_guard lock(mutex_);
    passes.swap(retentionInbox_);
  }
  for (auto& [dryRun, done] : passes) recorder_.runRetention(dryRun, std::move(done));
}

void RecorderControl::afterTick() {
  ++ticks_;
  publish();
}

void RecorderControl::publish() {
  ctl::StatusSnapshot next = snapshot();
  bool changed = false;
  {
    std::lock_guard lock(mutex_);
    next.ticks = published_.ticks;  // the tick count alone is no change for the watchers
    changed = next != published_;
    next.ticks = ticks_;
    published_ = std::move(next);
    if (changed) ++generation_;
  }
  if (changed) server_.notify();
  // A folder changed in the settings has a socket of its own.
  if (server_.running() && servedFolder_ != recorder_.recordingFolder()) {
    if (auto problem = listen()) noteProblem(*problem);
  }
}

void RecorderControl::noteProblem(std::string_view text) {
  if (!problems_.empty() && problems_.front().text == text) {
    ++problems_.front().count;
    problems_.front().wallSeconds = clock_.wallSeconds();
    return;
  }
  problems_.insert(problems_.begin(), ctl::ProblemStatus{clock_.wallSeconds(), std::string(text)});
  if (problems_.size() > 20) problems_.pop_back();
}

ctl::StatusSnapshot RecorderControl::status(std::uint64_t* generation) const {
  std::lock_guard lock(mutex_);
  if (generation) *generation = generation_;
  return published_;
}

std::vector<std::string> RecorderControl::rowsNotInList() const {
  return recorder_.rowsNotInList();
}

void RecorderControl::requestListEdit(engine::PendingListEdit edit, ListEditDone done) {
  std::lock_guard lock(mutex_);
  inbox_.emplace_back(std::move(edit), std::move(done));
}

void RecorderControl::runRetention(bool dryRun, RetentionDone done) {
  std::lock_guard lock(mutex_);
  retentionInbox_.emplace_back(dryRun, std::move(done));
}

ctl::StatusSnapshot RecorderControl::snapshot() {
  ctl::StatusSnapshot s;
  s.version = std::string(base::versionNumber());
  s.startedAt = startedAt_;
  s.ticks = ticks_;
  s.folder = recorder_.recordingFolder().string();
  s.list = recorder_.listPath().string();
  const WindowFields& fields = recorder_.fields();
  s.location = fields.locationLine;
  const engine::Engine* engine = recorder_.engine();
  for (int u = 0; u < device::kMaxUnits; ++u) {
    const RecorderUnit unit = recorder_.unit(u);
    s.units[std::size_t(u)] = {unit.listed, unit.present, unit.audioMode};
  }
  for (int p = 0; p < device::kMaxPorts; ++p) {
    ctl::LineStatus& line = s.lines[std::size_t(p)];
    line.status = fields.statusText(p);
    line.detail = fields.detailText(p);
    line.inCall = engine && engine->port(p).record.callType != engine::kCallIdle;
  }
  s.visibleLines =
      recorder_.pollPeriodMs() > 0 ? recorder_.visibleRows() * device::kPortsPerUnit : 0;
  s.capacity = fields.capacity();
  if (engine) {
    s.loggedItems = engine->capacity().loggedItems;
    s.loggedMegabytes =
        engine->capacity().loggedBlocks < 0
            ? -1
            : engine->capacity().loggedBlocks / std::int32_t(engine::kBlocksPerMegabyte);
    s.listEditPending = engine->listEditPending();
  }
  s.itemLimit = recorder_.settings().itemLimit;
  s.spaceLimitMb = recorder_.settings().spaceLimit;
  const std::int64_t now = clock_.monotonicMs();
  if (!s.folder.empty() && (freeBytesAtMs_ < 0 || now - freeBytesAtMs_ >= kFreeSpaceEveryMs)) {
    std::error_code error;
    const auto space = std::filesystem::space(s.folder, error);
    freeBytes_ = error ? std::nullopt : std::optional<std::uint64_t>(space.available);
    freeBytesAtMs_ = now;
  }
  s.freeBytes = freeBytes_;
  s.problems = problems_;
  return s;
}

}  // namespace parvolin::app
