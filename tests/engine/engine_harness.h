#pragma once

// Helpers for the engine tests: stream records built by name, a folder of its own per test, a
// view that remembers what it was shown, and an engine fed read by read on a virtual clock.

#include <signal.h>
#include <sys/resource.h>

#include <cstdlib>
#include <ctime>
#include <deque>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "base/clock.h"
#include "base/diagnostics.h"
#include "base/folder_lock.h"
#include "base/prompt.h"
#include "engine/call_log.h"
#include "engine/capture_replay.h"
#include "engine/engine.h"
#include "support/collecting_diagnostics.h"
#include "support/scripted_prompt.h"
#include "support/test_files.h"

namespace parvolin::engine::test {

using Bytes = std::vector<std::uint8_t>;

inline Bytes operator+(Bytes a, const Bytes& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

// --- Stream records ---------------------------------------------------------------------------

inline Bytes rec(int port, std::uint8_t code, Bytes payload = {}) {
  Bytes r{std::uint8_t(port), code};
  r.resize(2 + device::payloadLengthFor(code), 0);
  for (std::size_t i = 0; i < payload.size() && 2 + i < r.size(); ++i) r[2 + i] = payload[i];
  return r;
}
// A 32-byte number payload whose bytes 1-6 are `number`.
inline Bytes callerPayload(Bytes number) {
  Bytes p(32, 0);
  for (std::size_t i = 0; i < number.size() && i < 6; ++i) p[1 + i] = number[i];
  return p;
}
// A 32-byte number payload whose bytes 7-17 are `digits`.
inline Bytes dialledPayload(Bytes digits) {
  Bytes p(32, 0);
  for (std::size_t i = 0; i < digits.size() && i < 11; ++i) p[7 + i] = digits[i];
  return p;
}
inline Bytes callerId(int port, Bytes number) {
  return rec(port, device::kCallerIdA, callerPayload(std::move(number)));
}
inline Bytes ring(int port) {
  return rec(port, device::kRingEvent);
}
inline Bytes dialOut(int port) {
  return rec(port, device::kDialOutEvent);
}
inline Bytes answering(int port) {
  return rec(port, device::kAnsweringEvent);
}
inline Bytes varStart(int port) {
  return rec(port, device::kVarStartEvent);
}
inline Bytes digit(int port, std::uint8_t d) {
  return rec(port, device::kDigitEvent, {d});
}
inline Bytes audio(int port, std::uint8_t fill) {
  return rec(port, device::kAudioEvent, Bytes(512, fill));
}
inline Bytes callEnd(int port, Bytes number = {}) {
  return rec(port, device::kCallEndEvent, callerPayload(std::move(number)));
}
inline Bytes calloutEnd(int port, Bytes digits) {
  return rec(port, device::kCalloutEndEvent, dialledPayload(std::move(digits)));
}
inline Bytes varEnd(int port, Bytes digits = {}) {
  return rec(port, device::kVarEndEvent, dialledPayload(std::move(digits)));
}

// --- Files ------------------------------------------------------------------------------------

using parvolin::test::readFile;
using parvolin::test::TempFolder;
using parvolin::test::writeBytes;
using parvolin::test::writeFile;

// Every file of a folder and its contents, for comparing two folders. The folder's lock, which
// names the process that held it, is left out.
inline std::map<std::string, std::string> folderContents(const std::filesystem::path& folder) {
  std::map<std::string, std::string> files;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) {
    const std::string name = entry.path().filename().string();
    if (name != base::kFolderLockName) files[name] = readFile(entry.path());
  }
  return files;
}

// Files may not grow past `bytes` while it lives: writes beyond fail as on a full disk.
class FileSizeLimit {
 public:
  explicit FileSizeLimit(rlim_t bytes) {
    previousHandler_ = ::signal(SIGXFSZ, SIG_IGN);
    ::getrlimit(RLIMIT_FSIZE, &saved_);
    rlimit limit = saved_;
    limit.rlim_cur = bytes;
    ::setrlimit(RLIMIT_FSIZE, &limit);
  }
  ~FileSizeLimit() {
    ::setrlimit(RLIMIT_FSIZE, &saved_);
    ::signal(SIGXFSZ, previousHandler_);
  }

 private:
  rlimit saved_{};
  sighandler_t previousHandler_;
};

// Local time is UTC while it lives.
class UtcZone {
 public:
  UtcZone() {
    if (const char* tz = std::getenv("TZ")) saved_ = tz, hadTz_ = true;
    ::setenv("TZ", "UTC0", 1);
    ::tzset();
  }
  ~UtcZone() {
    if (hadTz_) {
      ::setenv("TZ", saved_.c_str(), 1);
    } else {
      ::unsetenv("TZ");
    }
    ::tzset();
  }

 private:
  std::string saved_;
  bool hadTz_ = false;
};

// --- Engine -----------------------------------------------------------------------------------

class RememberingView final : public EngineView {
 public:
  void showPort(int portIndex, std::string_view status, std::string_view detail) override {
    lines[portIndex] = {std::string(status), std::string(detail)};
  }
  void showCapacity(const CapacityDisplay& c) override { capacity = c; }
  void refresh() override { ++refreshes; }
  std::map<int, std::pair<std::string, std::string>> lines;
  CapacityDisplay capacity;
  int refreshes = 0;
};

// Reads scripted per unit: each read returns the next queued chunk (nothing when none is left).
class ScriptedStreams final : public UnitStreams {
 public:
  bool isListed(int unit) const override { return listed[unit]; }
  bool isPresent(int unit) const override { return present[unit]; }
  std::uint32_t readStream(std::uint8_t* buffer, std::uint32_t n, int unit) override {
    ++reads[unit];
    if (clock) clock->advanceMs(readCostMs);
    auto& queue = chunks[unit];
    if (queue.empty()) return 0;
    Bytes chunk = std::move(queue.front());
    queue.pop_front();
    if (chunk.size() > n) chunk.resize(n);
    std::copy(chunk.begin(), chunk.end(), buffer);
    return std::uint32_t(chunk.size());
  }
  bool reopenUnit(int unit) override {
    ++reopens[unit];
    if (reopenWorks) present[unit] = true;
    return reopenWorks;
  }
  void restartStream(int unit) override {
    ++restarts[unit];
    streamControl[unit] = 0x4D;
  }
  std::optional<std::uint8_t> readStreamControl(int unit) override {
    ++controlReads[unit];
    return streamControl[unit];
  }

  // Queues `bytes` as reads of at most 2048 bytes.
  void queue(int unit, const Bytes& bytes) {
    for (std::size_t at = 0; at < bytes.size(); at += 2048) {
      chunks[unit].emplace_back(bytes.begin() + long(at),
                                bytes.begin() + long(std::min(bytes.size(), at + 2048)));
    }
  }

  std::array<bool, 4> listed{true, false, false, false};
  std::array<bool, 4> present{true, false, false, false};
  std::array<std::deque<Bytes>, 4> chunks;
  std::array<int, 4> reads{}, reopens{}, restarts{}, controlReads{};
  // What a read of the stream control byte answers (nothing: no answer).
  std::array<std::optional<std::uint8_t>, 4> streamControl{0x4D, 0x4D, 0x4D, 0x4D};
  bool reopenWorks = true;
  base::VirtualClock* clock = nullptr;
  std::int64_t readCostMs = 0;
};

inline constexpr std::uint32_t kT1 = 1234567890;  // hex 499602D2

// Replays `capture` into `folder` with the given settings, as pvtool replay does, showing nothing.
inline ReplayOutcome replayInto(const std::filesystem::path& capture,
                                const std::filesystem::path& folder, std::uint32_t settingBits) {
  RecorderSettings settings;
  settings.parvolinSetting = settingBits;
  NullEngineView view;
  parvolin::test::NullDiagnostics diagnostics;
  parvolin::test::ScriptedPrompt prompt;
  return replayCapture(capture, folder, settings, view, diagnostics, prompt);
}

// An engine on a virtual clock in a folder of its own. feed() hands bytes over as reads of at
// most 2048 bytes at the given second, then ends the tick's work as a poll tick does (the rows
// of the calls kept are written).
struct EngineHarness {
  static EngineOptions everyTick(std::uint32_t audioBufferSize = kAudioBufferSize) {
    EngineOptions options;
    options.audioBufferSize = audioBufferSize;
    options.listBudget = ListWriteBudget::immediate();
    options.listWrites = ListWrites::kInCaller;
    return options;
  }

  // The list is rewritten at the end of every tick that kept a call, in the calling thread,
  // unless `options` asks for the writer's own thread.
  explicit EngineHarness(std::uint32_t settingBits = kHtmlListOn | kLvFormat,
                         EngineOptions options = everyTick()) {
    settings.parvolinSetting = settingBits;
    engine = std::make_unique<Engine>(streams, clock, settings, folder.path(), view, diagnostics,
                                      prompt, options);
    engine->resetPorts();
    for (int p = 0; p < 16; ++p) engine->setPortLine(p, PortLine::kIdle);
    engine->recountCapacity();
  }
  void feed(const Bytes& bytes, std::int64_t now, int unit = 0) {
    for (std::size_t at = 0; at < bytes.size(); at += 2048) {
      const std::size_t n = std::min<std::size_t>(2048, bytes.size() - at);
      engine->processRead(unit, {bytes.data() + at, n}, now);
    }
    engine->retryDeferredWrites();
  }
  const PortState& port(int i) const { return engine->port(i); }
  std::string file(const std::string& name) const { return readFile(folder / name); }
  bool exists(const std::string& name) const { return std::filesystem::exists(folder / name); }
  std::vector<CallRecord> log() const {
    CallLogContents contents;
    // A log that is not there (yet) holds no calls.
    if (readCallLog(folder / kCallLogName, contents)) return {};
    return contents.records;
  }
  std::string list() const { return file("ZEruTestNew.htm"); }

  TempFolder folder;
  base::VirtualClock clock{std::int64_t(kT1) * 1000};
  RecorderSettings settings;
  RememberingView view;
  parvolin::test::CollectingDiagnostics diagnostics;
  parvolin::test::ScriptedPrompt prompt;
  ScriptedStreams streams;
  std::unique_ptr<Engine> engine;
};

}  // namespace parvolin::engine::test
