#include "app/recorder.h"

#include "app/settings_io.h"
#include "app/startup.h"
#include "base/program_text.h"
#include "engine/call_log.h"
#include "logview/folder_recovery.h"

namespace parvolin::app {

Recorder::Recorder(RecorderServices services, RecorderOptions options)
    : services_(services),
      options_(std::move(options)),
      tickPrompt_(services.prompt, services.laterPrompt ? *services.laterPrompt : services.prompt),
      link_(services.d2xx, services.clock),
      fields_(services.screen),
      arrivals_(services.notifications, services.clock) {}

Recorder::~Recorder() {
  // The engine writes the audio still buffered when it goes; the capture, which goes first,
  // records to the end.
  if (engine_) {
    engine_->finishRun();
    engine_->setCapture(nullptr);
  }
}

bool Recorder::start() {
  StartupOptions startup;
  startup.folderOverride = options_.folderOverride;
  startup.programFolder = options_.programFolder;
  startup.configFile = options_.configFile;
  // The folder is taken before anything is touched: a second recorder started on it by mistake
  // must leave the units, the settings and the folder to the first.
  WorkingFolder& wf = services_.workingFolder;
  std::filesystem::path folder = plannedRecordingFolder(startup, services_.store, wf.current());
  if (options_.folderOverride) {
    if (const auto problem = folderProblem(folder)) {
      services_.prompt.message(folderUnusableText(folder, *problem));
      return false;
    }
  } else if (!wf.create(folder)) {
    // Start-up will say so and record into the directory it runs in.
    folder = wf.current();
  }
  if (!lockFolder(folder)) return false;

  StartupResult started = runStartup(startup, {&link_, services_.store, services_.prompt,
                                               services_.shell, services_.workingFolder});
  unitNumber_ = started.unitNumber;
  if (!started.ok) return false;
  for (const std::string& problem : started.settingProblems) {
    services_.diagnostics.report("Setting " + problem);
  }
  settings_ = std::move(started.settings);
  recordingFolder_ = std::move(started.recordingFolder);
  std::error_code error;
  if (!std::filesystem::equivalent(recordingFolder_, folder, error) &&
      !lockFolder(recordingFolder_)) {
    return false;
  }
  shownFolder_ = std::move(started.shownFolder);
  // What a run that died left behind is put right before anything is recorded.
  if (folderLock_.held()) {
    logview::recoverAtStart(recordingFolder_, settings_, services_.diagnostics);
  }
  engine_ =
      std::make_unique<engine::Engine>(link_, services_.clock, settings_, recordingFolder_, fields_,
                                       services_.diagnostics, tickPrompt_, options_.engineOptions);
  if (options_.wavConversionMemoryLimit) {
    engine_->setWavConversionMemoryLimit(*options_.wavConversionMemoryLimit);
  }
  session_ = std::make_unique<RecorderSession>(link_, *engine_, settings_, fields_, services_.timer,
                                               tickPrompt_, shownFolder_);
  return true;
}

RecorderSession::OpenResult Recorder::open() {
  return session_->open();
}

std::optional<std::string> Recorder::startCapture(const std::filesystem::path& path,
                                                  engine::ExistingFile existing) {
  if (auto problem =
          engine::outputFileProblem(path, existing, recordingFolder_, settings_.lvLogHtmlName)) {
    return problem;
  }
  std::error_code error;
  capture_ =
      engine::CaptureWriter::create(path, captureHeader(), services_.diagnostics, error, existing);
  engine_->setCapture(capture_.get());
  if (error) return path.string() + ": " + error.message();
  return std::nullopt;
}

void Recorder::tick() {
  if (ticking_) {
    ++skippedNestedTicks_;
    return;
  }
  ticking_ = true;
  tickPrompt_.beginTick();
  if (arrivals_.listNow()) openArrivedUnits();
  engine_->onPollTick();
  ++ticks_;
  ticking_ = false;
  tickPrompt_.endTick();
}

bool Recorder::callInProgress() const {
  return session_ && !exited_ && session_->callInProgress();
}

std::string Recorder::exitQuestion() const {
  return session_ ? session_->exitQuestion() : std::string(kExitQuestionText);
}

bool Recorder::exit(RecorderSession::ExitQuestion question) {
  if (exited_ || !session_) return true;
  if (!session_->exitRecorder(question)) return false;
  exited_ = true;
  engine_->setCapture(nullptr);
  capture_.reset();
  return true;
}

void Recorder::requestListEdit(engine::PendingListEdit edit, engine::Engine::ListEditDone done) {
  engine_->requestListEdit(std::move(edit), std::move(done));
}

void Recorder::runRetention(bool dryRun, engine::Engine::RetentionDone done) {
  if (engine_) {
    engine_->runRetention(dryRun, std::move(done));
    return;
  }
  engine::RetentionReport report;
  report.dryRun = dryRun;
  report.error = "the recorder has not started";
  if (done) done(report);
}

bool Recorder::listEditPending() const {
  return engine_ && engine_->listEditPending();
}

void Recorder::applySettings(const engine::RecorderSettings& changed,
                             std::initializer_list<engine::Setting> save) {
  settings_ = changed;
  for (const engine::Setting setting : save) saveSetting(services_.store, settings_, setting);
}

FolderChange Recorder::changeRecordingFolder(const std::filesystem::path& folder) {
  WorkingFolder& wf = services_.workingFolder;
  const std::filesystem::path before = wf.current();
  const bool located = enterOrCreate(wf, folder);
  const std::filesystem::path now = wf.current();
  std::error_code error;
  if (!std::filesystem::equivalent(now, folderLock_.folder(), error)) {
    base::FolderClaim claim = base::claimFolder(now, options_.programName);
    if (claim.refused()) {
      wf.changeTo(before);
      return {FolderChange::Result::kHeld, claim.message};
    }
    if (!claim.message.empty()) services_.diagnostics.report(claim.message);
    folderLock_ = std::move(*claim.lock);
    // A folder newly taken holds no call of this run, unless the run records there still (it
    // was its folder before): then its recordings in use would look lost.
    if (folderLock_.held() && !callInProgress()) {
      logview::recoverAtStart(now, settings_, services_.diagnostics);
    }
  }
  recordingFolder_ = now;
  engine_->setFolder(recordingFolder_);
  session_->endFolderOverride();
  return {located ? FolderChange::Result::kEntered : FolderChange::Result::kNotLocated, {}};
}

void Recorder::openArrivedUnits() {
  const std::vector<int> units = session_->openArrivedUnits();
  arrivals_.listed(!units.empty());
  for (const int unit : units) {
    services_.diagnostics.report("Unit" + std::to_string(unit + 1) + ": plugged in (serial " +
                                 base::printable(link_.serial(unit)) + "), set up and recording");
  }
}

bool Recorder::lockFolder(const std::filesystem::path& folder) {
  base::FolderClaim claim = base::claimFolder(folder, options_.programName);
  if (claim.refused()) {
    services_.prompt.message(claim.message);
    return false;
  }
  if (!claim.message.empty()) services_.diagnostics.report(claim.message);
  folderLock_ = std::move(*claim.lock);
  return true;
}

std::vector<std::string> Recorder::rowsNotInList() const {
  return engine_ ? engine_->rowsNotInList() : std::vector<std::string>();
}

std::vector<std::string> Recorder::unwrittenReport() const {
  if (!engine_) return {};
  return engine_->unwritten().describe(engine::kCallLogName, settings_.lvLogHtmlName);
}

void Recorder::refreshAfterConfigure() {
  session_->refreshAfterConfigure();
}

void Recorder::setAudioMode(int unit, std::uint8_t mode) {
  engine_->setAudioMode(unit, mode);
}

int Recorder::pollPeriodMs() const {
  return session_ ? session_->pollPeriod() : 0;
}

bool Recorder::unitsFound() const {
  return session_ && session_->unitsFound();
}

int Recorder::visibleRows() const {
  return session_ ? session_->visibleRows() : device::kMaxUnits;
}

RecorderUnit Recorder::unit(int unit) const {
  RecorderUnit state;
  if (unit < 0 || unit >= device::kMaxUnits) return state;
  state.listed = link_.isListed(unit);
  state.present = link_.isPresent(unit);
  if (session_) {
    state.idle = session_->idleUnits()[std::size_t(unit)];
    state.setUp = session_->setUpUnits()[std::size_t(unit)];
  }
  if (engine_) {
    state.audioMode = engine_->audioMode(unit);
    state.varOffDelaySec = engine_->varOffDelay(unit);
  }
  return state;
}

RecorderStatus Recorder::status() const {
  RecorderStatus status;
  for (int port = 0; port < device::kMaxPorts; ++port) {
    status.statusText[std::size_t(port)] = fields_.statusText(port);
    status.detailText[std::size_t(port)] = fields_.detailText(port);
  }
  status.capacity = fields_.capacity();
  status.locationLine = fields_.locationLine;
  for (int u = 0; u < device::kMaxUnits; ++u) status.units[std::size_t(u)] = unit(u);
  status.pollPeriodMs = exited_ ? 0 : pollPeriodMs();
  status.visibleRows = visibleRows();
  status.asksBeforeExit = asksBeforeExit();
  status.callInProgress = callInProgress();
  status.exitQuestion = exitQuestion();
  status.somethingUnwritten = engine_ && !engine_->unwritten().empty();
  status.diskSpace = engine_ ? engine_->diskSpace() : engine::DiskSpace::kEnough;
  status.exited = exited_;
  status.ticks = ticks_;
  status.skippedNestedTicks = skippedNestedTicks_;
  status.listEditPending = listEditPending();
  status.settings = settings_;
  status.recordingFolder = recordingFolder_;
  status.listPath = listPath();
  return status;
}

bool Recorder::asksBeforeExit() const {
  return session_ && session_->firstUnitInUse();
}

std::filesystem::path Recorder::listPath() const {
  return engine_ ? engine_->listPath() : std::filesystem::path();
}

engine::CaptureHeader Recorder::captureHeader() const {
  engine::CaptureHeader header;
  header.startEpoch = static_cast<std::uint32_t>(services_.clock.wallSeconds());
  for (int u = 0; u < device::kMaxUnits; ++u) {
    const RecorderUnit state = unit(u);
    engine::CaptureUnit& entry = header.units[std::size_t(u)];
    entry.flags = static_cast<std::uint8_t>((state.listed ? engine::kUnitListed : 0) |
                                            (state.idle ? engine::kUnitIdle : 0) |
                                            (state.setUp ? engine::kUnitSetUp : 0));
    entry.audioMode = state.audioMode;
    entry.varOffDelay = static_cast<std::uint8_t>(state.varOffDelaySec);
  }
  return header;
}

}  // namespace parvolin::app
