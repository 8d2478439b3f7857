#include "engine/engine.h"

#include <algorithm>
#include <cstring>
#include <optional>
#include <utility>

#include "base/audio_block.h"
#include "engine/stream_capture.h"

namespace parvolin::engine {
namespace {

std::int64_t secondsOf(std::int64_t ms) {
  return ms >= 0 ? ms / 1000 : -((-ms + 999) / 1000);
}

bool validUnit(int unit) {
  return unit >= 0 && unit < device::kMaxUnits;
}

}  // namespace

Engine::Engine(UnitStreams& units, base::Clock& clock, RecorderSettings& settings,
               std::filesystem::path folder, EngineView& view, base::Diagnostics& diagnostics,
               base::Prompt& prompt, const EngineOptions& options)
    : units_(units),
      clock_(clock),
      settings_(settings),
      folder_(std::move(folder)),
      view_(view),
      failures_(diagnostics),
      diagnostics_(diagnostics),
      audioBufferSize_(std::max(options.audioBufferSize / std::uint32_t(base::kAudioBlockSize),
                                std::uint32_t(1)) *
                       std::uint32_t(base::kAudioBlockSize)),
      pendingLog_(failures_),
      audio_(folder_, clock, settings, prompt, diagnostics, failures_),
      watch_(units, clock, diagnostics) {
  audio_.disk().onRecordingFolderLook([this](std::uint64_t freeBytes) { watchDisk(freeBytes); });
  for (int i = 0; i < device::kMaxPorts; ++i) {
    ports_[std::size_t(i)].audioBuffer =
        std::make_unique_for_overwrite<std::uint8_t[]>(audioBufferSize_);
    ports_[std::size_t(i)].record.portIndex = std::uint8_t(i);
  }
  listWriter_ = std::make_unique<ListWriter>(listPath(), options.listBudget, options.listWrites);
  restoreRows();
}

Engine::Engine(std::unique_ptr<UnitStreams> owned, base::Clock& clock, RecorderSettings& settings,
               std::filesystem::path folder, EngineView& view, base::Diagnostics& diagnostics,
               base::Prompt& prompt, const EngineOptions& options)
    : Engine(*owned, clock, settings, std::move(folder), view, diagnostics, prompt, options) {
  ownedUnits_ = std::move(owned);
}

Engine::~Engine() {
  finishRun();
}

void Engine::onPollTick() {
  for (int unit = 0; unit < device::kMaxUnits; ++unit) {
    if (units_.isListed(unit)) runUnitPass(unit);
  }
  retryDeferredWrites();
  view_.refresh();
  applyListEdit();
  retentionTick();
  if (capture_) capture_->flush();
}

void Engine::runUnitPass(int unit) {
  device::UnitStreamBuffer& buffer = streamOf(unit);
  bool gotBytes = false;
  const PassReads pass =
      readUnitPass(units_, buffer, unit, clock_, [&](std::uint32_t n, std::int64_t wallMs) {
        gotBytes = true;
        if (capture_) capture_->append(unit, {buffer.readTarget(), n}, wallMs);
        actOnRead(unit, n, secondsOf(wallMs));
      });
  const std::optional<CutOff> cutOff = watch_.afterPass(unit, pass, gotBytes, inRecordedCall(unit));
  if (cutOff) cutOffCalls(unit, *cutOff);
  if (cutOff == CutOff::kReset) {
    units_.restartStream(unit);
    // Whatever part record waited is from before the reset.
    buffer.writePos = 0;
  }
  showUnitPorts(unit);
}

bool Engine::processRead(int unit, std::span<const std::uint8_t> bytes, std::int64_t nowSeconds) {
  if (unit < 0 || unit >= device::kMaxUnits || bytes.size() > device::UnitStreamBuffer::kMaxRead) {
    return false;
  }
  device::UnitStreamBuffer& buffer = streamOf(unit);
  if (!bytes.empty()) std::memcpy(buffer.readTarget(), bytes.data(), bytes.size());
  actOnRead(unit, bytes.size(), nowSeconds);
  showUnitPorts(unit);
  return true;
}

device::UnitStreamBuffer& Engine::streamOf(int unit) {
  std::unique_ptr<device::UnitStreamBuffer>& stream = streams_[std::size_t(unit)];
  if (!stream) stream = std::make_unique_for_overwrite<device::UnitStreamBuffer>();
  return *stream;
}

void Engine::actOnRead(int unit, std::size_t n, std::int64_t now) {
  // The sink holds one reference, which a std::function keeps without an allocation: this runs
  // for every read of every unit.
  struct Read {
    Engine* engine;
    int unit;
    std::int64_t now;
  } const read{this, unit, now};
  device::frameRead(streamOf(unit), n, [&read](const device::StreamRecord& r) {
    read.engine->onRecord(read.unit, r, read.now);
  });
}

void Engine::onRecord(int unit, const device::StreamRecord& r, std::int64_t now) {
  const int portIndex = unit * device::kPortsPerUnit + r.port;
  PortState& port = ports_[std::size_t(portIndex)];
  port.record.portIndex = std::uint8_t(portIndex);
  switch (r.code) {
    case device::kCallerIdA:
    case device::kCallerIdB:
    case device::kRingEvent:
    case device::kDialOutEvent:
    case device::kAnsweringEvent:
    case device::kDigitEvent:
    case device::kVarStartEvent:
      applyCallEvent(port, r.code, r.payload, now);
      break;
    case device::kAudioEvent:
      onAudioBlock(unit, portIndex, r.payload, now);
      break;
    case device::kCallEndEvent:
      onCallEnd(unit, portIndex, r.payload, now);
      break;
    case device::kCalloutEndEvent:
    case device::kVarEndEvent:
      onOutgoingEnd(unit, portIndex, r.code, r.payload, now);
      break;
    default:
      break;  // codes 0 and 12-255 carry nothing
  }
}

void Engine::showUnitPorts(int unit) {
  for (int p = 0; p < device::kPortsPerUnit; ++p) {
    const int portIndex = unit * device::kPortsPerUnit + p;
    const PortState& port = ports_[std::size_t(portIndex)];
    view_.showPort(portIndex, port.statusText(), port.detailText);
  }
}

void Engine::retryDeferredWrites() {
  // The warning comes before the disk is full, also while no audio is being written.
  if (audio_.disk().lookDue(kAudioWritePeriodMs)) audio_.disk().audioRoom(folder_);
  writeDueAudio();
  retryHeldAudio(/*whenDue=*/true);
  if (!pendingLog_.empty()) flushLog();
  pollList();
}

void Engine::resetPorts() {
  for (int i = 0; i < device::kMaxPorts; ++i) {
    PortState& port = ports_[std::size_t(i)];
    port.record.callType = kCallIdle;
    port.record.callText = CallRecord::blankText();
    port.record.firstAudioSec = 0;
  }
}

void Engine::setPortLine(int portIndex, PortLine line) {
  if (portIndex < 0 || portIndex >= device::kMaxPorts) return;
  PortState& port = ports_[std::size_t(portIndex)];
  port.line = line;
  port.detailText.clear();
  view_.showPort(portIndex, port.statusText(), port.detailText);
  view_.refresh();
}

std::uint8_t Engine::audioMode(int unit) const {
  return validUnit(unit) ? audioMode_[std::size_t(unit)] : std::uint8_t{3};
}

int Engine::varOffDelay(int unit) const {
  return validUnit(unit) ? varOffDelay_[std::size_t(unit)] : 0;
}

void Engine::setAudioMode(int unit, std::uint8_t mode) {
  if (validUnit(unit)) audioMode_[std::size_t(unit)] = mode;
}

void Engine::setVarOffDelay(int unit, int seconds) {
  if (validUnit(unit)) varOffDelay_[std::size_t(unit)] = seconds;
}

void Engine::requestListEdit(PendingListEdit edit, ListEditDone done) {
  if (listEditDone_) {
    ListEditResult replaced;
    replaced.error = std::make_error_code(std::errc::operation_canceled);
    std::exchange(listEditDone_, {})(replaced);
  }
  if (!edit.isPending()) {
    pendingListEdit_.clear();
    if (done) done(ListEditResult{});
    return;
  }
  pendingListEdit_ = std::move(edit);
  listEditDone_ = std::move(done);
}

void Engine::recountCapacity() {
  counters_.forget();
  recount();
}

void Engine::recount() {
  updateCapacity(counters_, folder_, listPath(), {settings_.itemLimit, settings_.spaceLimit},
                 std::nullopt, true);
  // The count follows the kept calls, the rows still waiting for the list included (see
  // showCounters), as the count that grows with each kept call does.
  counters_.loggedItems += std::int32_t(listWriter_->pendingRows());
  counters_.rowCountCache = counters_.loggedItems;
  showCounters();
}

void Engine::finishRun() {
  for (PortState& port : ports_) audio_.finish(port, CallKept::kNo);
  writeDueAudio();
  retryHeldAudio(/*whenDue=*/false);
  if (!pendingLog_.empty()) flushLog();
  flushList();
  if (capture_) capture_->flush();
}

void Engine::showCounters() {
  // Rows waiting for their rewrite are counted: the call log holds their calls. Rows that the
  // disk did not take, or whose calls wait for the log as well, are not.
  CapacityCounters shown = counters_;
  if ((listFailing_ || !pendingLog_.empty()) && shown.loggedItems > 0) {
    shown.loggedItems =
        std::max<std::int32_t>(0, shown.loggedItems - std::int32_t(listWriter_->pendingRows()));
  }
  showCapacity(capacityDisplay(shown, {settings_.itemLimit, settings_.spaceLimit}));
}

void Engine::showCapacity(const CapacityDisplay& display) {
  // The free space is the disk watch's: it stays as last looked at.
  std::string freeText = std::move(shown_.freeText);
  shown_ = display;
  if (shown_.freeText.empty()) shown_.freeText = std::move(freeText);
  view_.showCapacity(shown_);
  view_.refresh();
}

}  // namespace parvolin::engine
