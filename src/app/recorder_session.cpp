#include "app/recorder_session.h"

#include <cstdio>

#include "engine/call_log.h"
#include "logview/list_files.h"

namespace parvolin::app {
namespace {

constexpr std::size_t kLocationLineColumns = 80;
constexpr std::size_t kLocationPadIndex = 20;

}  // namespace

std::string noneLine(int portNumber) {
  return engine::portLine(engine::PortLine::kNone, portNumber - 1);
}
std::string idleLine(int portNumber) {
  return engine::portLine(engine::PortLine::kIdle, portNumber - 1);
}

std::string makeLocationLine(std::string_view folder) {
  std::string line = "Logging Location:    ";
  line += folder;
  while (line.size() < kLocationLineColumns) line.insert(kLocationPadIndex, 1, ' ');
  return line;
}

RecorderSession::RecorderSession(device::UnitLink& link, engine::Engine& engine,
                                 engine::RecorderSettings& settings, WindowFields& fields,
                                 PollTimer& timer, base::Prompt& prompt, std::string shownFolder)
    : link_(link),
      engine_(engine),
      settings_(settings),
      fields_(fields),
      timer_(timer),
      prompt_(prompt),
      shownFolder_(std::move(shownFolder)),
      folderOverridden_(shownFolder_ != settings.parvolinPath) {}

void RecorderSession::setIdleLines(int unit) {
  for (int p = 0; p < device::kPortsPerUnit; ++p) {
    const int portIndex = unit * device::kPortsPerUnit + p;
    engine_.setPortLine(portIndex, engine::PortLine::kIdle);
    fields_.refresh();
  }
  idle_[std::size_t(unit)] = true;
}

void RecorderSession::showLocationLine(std::string_view folder) {
  fields_.locationLine = makeLocationLine(folder);
  fields_.refresh();
}

RecorderSession::OpenResult RecorderSession::open() {
  engine_.resetPorts();
  for (int portIndex = 0; portIndex < device::kMaxPorts; ++portIndex) {
    engine_.setPortLine(portIndex, engine::PortLine::kNone);
  }
  fields_.refresh();
  showLocationLine(shownFolder_);
  engine_.recountCapacity();

  const bool opened = link_.openAll();
  unitsFound_ = opened;
  if (opened) setIdleLines(0);
  pollPeriodMs_ = device::pollPeriodMs(opened, link_.isPresent(2), link_.isPresent(3));
  if (!timer_.start(pollPeriodMs_)) {
    prompt_.message(kTimerErrorText);
    return OpenResult::NoTimer;
  }
  if (opened && !setUpUnit(0)) return OpenResult::SetUpFailed;
  for (int unit = 1; unit < device::kMaxUnits; ++unit) {
    if (!link_.isPresent(unit)) continue;
    setIdleLines(unit);
    if (!setUpUnit(unit)) return OpenResult::SetUpFailed;
  }

  visibleRows_ = link_.isPresent(3) ? 4 : link_.isPresent(2) ? 3 : link_.isPresent(1) ? 2 : 1;
  for (int portIndex = 0; portIndex < device::kMaxPorts; ++portIndex) {
    fields_.showPort(portIndex, fields_.statusText(portIndex), fields_.detailText(portIndex));
  }
  fields_.refresh();
  return OpenResult::Running;
}

bool RecorderSession::setUpUnit(int unit) {
  const device::UnitSetUp setUp = link_.setUpUnit(unit);
  if (setUp.audioMode) {
    engine_.setAudioMode(unit, *setUp.audioMode);
    setUp_[std::size_t(unit)] = true;
    engine::applyUnitSetUp(settings_, *setUp.audioMode);
  }
  if (setUp.varOffDelaySec) engine_.setVarOffDelay(unit, *setUp.varOffDelaySec);
  switch (setUp.failure) {
    case device::SetUpFailure::kNone:
      // The set-up started the stream: from now on a stream that stops is noticed.
      engine_.watchStream(unit);
      return true;
    case device::SetUpFailure::kEncoderMode:
      prompt_.message(device::kEncoderModeErrorText);
      return false;
    case device::SetUpFailure::kVersion:
      prompt_.message(device::kVersionErrorText, base::PromptIcon::Exclamation);
      return false;
    case device::SetUpFailure::kTurnOffDelay:
      prompt_.message(device::kTurnOffDelayErrorText);
      return false;
  }
  return false;
}

void RecorderSession::refreshAfterConfigure() {
  if (!folderOverridden_) shownFolder_ = settings_.parvolinPath;
  showLocationLine(shownFolder_);
  engine_.recountCapacity();
}

bool RecorderSession::firstUnitInUse() const {
  return engine_.port(0).line != engine::PortLine::kNone;
}

std::string RecorderSession::exitQuestion() const {
  std::string question(kExitQuestionText);
  const std::vector<std::string> lines =
      engine_.unwritten().describe(engine::kCallLogName, settings_.lvLogHtmlName);
  if (lines.empty()) return question;
  question += "\n\nNot on the disk yet, and lost if the recorder exits now:";
  for (std::size_t i = 1; i < lines.size(); ++i) question += "\n" + lines[i];
  return question;
}

bool RecorderSession::callInProgress() const {
  for (int port = 0; port < device::kMaxPorts; ++port) {
    switch (engine_.port(port).line) {
      case engine::PortLine::kCallerNumber:
      case engine::PortLine::kRinging:
      case engine::PortLine::kDialOut:
      case engine::PortLine::kAnswering:
      case engine::PortLine::kVarMode:
      case engine::PortLine::kRecording:
      case engine::PortLine::kRecordingSecond:
        return true;
      default:
        break;
    }
  }
  return false;
}

bool RecorderSession::exitRecorder(ExitQuestion question) {
  if (question == ExitQuestion::Ask && (firstUnitInUse() || !engine_.unwritten().empty()) &&
      !prompt_.askYesNo(exitQuestion(), /*safeAnswer=*/false)) {
    return false;
  }
  // Every slot gets the stop command, present or not; a closed handle just fails.
  for (int unit = device::kMaxUnits - 1; unit >= 0; --unit) {
    link_.stopStream(unit);
  }
  timer_.stop();
  engine_.finishRun();
  link_.closeAll();

  // The search result the log viewer and the file manager show instead of the list, named by
  // their rule (never the list's own name), in the folder the list is in now.
  logview::removeIfExists(logview::ListFiles::forList(engine_.listPath()).find);
  return true;
}

}  // namespace parvolin::app
