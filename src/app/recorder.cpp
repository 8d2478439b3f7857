#include "app/recorder.h"

#include "app/settings_io.h"
#include "app/startup.h"

namespace parvolin::app {

Recorder::Recorder(RecorderServices services, RecorderOptions options)
    : services_(services),
      options_(std::move(options)),
      tickPrompt_(services.prompt, services.laterPrompt ? *services.laterPrompt : services.prompt),
      link_(services.d2xx, services.clock),
      fields_(services.screen) {}

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
  StartupResult started = runStartup(startup, {&link_, services_.store, services_.prompt,
                                               services_.shell, services_.workingFolder});
  unitNumber_ = started.unitNumber;
  if (!started.ok) return false;
  settings_ = std::move(started.settings);
  recordingFolder_ = std::move(started.recordingFolder);
  shownFolder_ = std::move(started.shownFolder);
  engine_ = std::make_unique<engine::Engine>(link_, services_.clock, settings_, recordingFolder_,
                                             fields_, services_.diagnostics, tickPrompt_);
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

std::error_code Recorder::startCapture(const std::filesystem::path& path) {
  std::error_code error;
  capture_ = engine::CaptureWriter::create(path, captureHeader(), services_.diagnostics, error);
  engine_->setCapture(capture_.get());
  return error;
}

void Recorder::tick() {
  if (ticking_) {
    ++skippedNestedTicks_;
    return;
  }
  ticking_ = true;
  tickPrompt_.beginTick();
  engine_->onPollTick();
  ticking_ = false;
  tickPrompt_.endTick();
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

bool Recorder::listEditPending() const {
  return engine_ && engine_->listEditPending();
}

void Recorder::applySettings(const engine::RecorderSettings& changed,
                             std::initializer_list<engine::Setting> save) {
  settings_ = changed;
  for (const engine::Setting setting : save) saveSetting(services_.store, settings_, setting);
}

bool Recorder::changeRecordingFolder(const std::filesystem::path& folder) {
  const bool located = enterOrCreate(services_.workingFolder, folder);
  recordingFolder_ = services_.workingFolder.current();
  engine_->setFolder(recordingFolder_);
  session_->endFolderOverride();
  return located;
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
