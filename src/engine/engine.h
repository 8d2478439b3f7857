#pragma once

// The recording engine: one object that follows all 16 ports through their calls on every poll
// tick, writes the recordings, the call log and the HTML list, and keeps the capacity figures.
//
// A live unit pass reads through UnitStreams (the UnitLink) and hands every read, with the time
// it returned, to the code behind processRead; a replay calls processRead with the reads of a
// capture. All the call logic lies there, so a test drives it by feeding bytes.

#include <array>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "base/clock.h"
#include "base/diagnostics.h"
#include "base/prompt.h"
#include "device/stream_framing.h"
#include "device/unit_link.h"
#include "engine/audio_files.h"
#include "engine/call_record.h"
#include "engine/diagnostic_once.h"
#include "engine/disk_watch.h"
#include "engine/engine_view.h"
#include "engine/html_list.h"
#include "engine/list_writer.h"
#include "engine/pending_call_log.h"
#include "engine/port_state.h"
#include "engine/recorder_settings.h"
#include "engine/recording_files.h"
#include "engine/retention.h"
#include "engine/stream_watch.h"
#include "engine/unit_pass_reads.h"
#include "engine/unit_streams.h"
#include "engine/unwritten.h"

namespace parvolin::engine {

class CaptureWriter;

// The retention rule of the settings.
RetentionRule retentionRuleOf(const RecorderSettings& settings);

// How an engine is built; the defaults are the recorder's.
struct EngineOptions {
  // Bytes of audio a port collects before they go to its recording in one write: whole blocks,
  // allocated once per port for the engine's life. The fuzz targets use a few blocks, so that a
  // short input reaches the full-buffer write and an engine per input costs little.
  std::uint32_t audioBufferSize = kAudioBufferSize;
  // How the HTML list's rewrites are spaced, and where they run (see ListWriter).
  ListWriteBudget listBudget{};
  ListWrites listWrites = ListWrites::kOwnThread;
};

class Engine {
 public:
  // `folder` is the recording folder; every file of the engine is made in it. Every reference
  // must outlive the engine. The settings are read as they stand at each use, so changes made
  // by the configuration dialog take effect at the next event.
  Engine(device::UnitLink& link, base::Clock& clock, RecorderSettings& settings,
         std::filesystem::path folder, EngineView& view, base::Diagnostics& diagnostics,
         base::Prompt& prompt, const EngineOptions& options = {});
  Engine(UnitStreams& units, base::Clock& clock, RecorderSettings& settings,
         std::filesystem::path folder, EngineView& view, base::Diagnostics& diagnostics,
         base::Prompt& prompt, const EngineOptions& options = {});
  // Calls finishRun, so that no buffered audio is lost however the run ends.
  ~Engine();

  Engine(const Engine&) = delete;
  Engine& operator=(const Engine&) = delete;

  // One poll tick: a pass per listed unit (units 1 to 4), rows or log records that could not be
  // written before are written, the view refreshed, a pending list edit applied and the capacity
  // recounted after it, the capture flushed.
  void onPollTick();
  // One tick's reads of one unit (0-3): reads again while a read returned the full 2048 bytes,
  // up to kMaxReadsPerPass reads; the clock is taken once per read when it returns. When the
  // pass's first read returns nothing and the unit is no longer present, the unit is reopened
  // and its stream restarted. Then the stream watch (see kStalledStreamMs): calls cut off by a
  // unit that was reset, that was reopened, or that has been lost for kLostUnitCallsMs are ended
  // as finishRun ends a call in progress, reported with their file names, and their ports freed.
  // Ends by showing the unit's four port lines.
  void runUnitPass(int unit);
  // The bytes of one stream read of `unit` (at most 2048), read at `nowSeconds` (seconds since
  // 1970): framed and acted on record by record, then the unit's four port lines shown. Returns
  // false, doing nothing, for a unit outside 0-3 or more than 2048 bytes.
  bool processRead(int unit, std::span<const std::uint8_t> bytes, std::int64_t nowSeconds);
  // Writes what waits for the disk: audio buffered for kAudioWritePeriodMs or more (whole
  // blocks), what ended calls' files did not take before, and the call log records and list rows
  // that earlier attempts could not write.
  void retryDeferredWrites();

  // Main window opening: every port idle (callType 0, callText blank, firstAudioSec 0).
  void resetPorts();
  // Sets a port's status line (the opening's "NONE" and "IDLE" lines), empties its detail line
  // and shows both.
  void setPortLine(int portIndex, PortLine line);
  // Counters and rowCountCache to unknown, then a full recount shown on the view.
  void recountCapacity();
  // Ends the run: a call in progress is not logged and gets no row, but its buffered audio is
  // written, converted when WavFormat is set, and its file closed. Everything that waits for the
  // disk gets a last try; what still does not fit stays in unwritten(). Safe to call more than
  // once.
  void finishRun();
  // What was recorded but is not on disk: audio held or lost, records and rows waiting.
  UnwrittenSummary unwritten() const;

  // Records every read of the live unit passes into `capture` (nullptr: none), flushed at the
  // end of every tick and by finishRun. A capture whose write fails stops itself; the recording
  // goes on. The capture must outlive the engine, or be removed with setCapture(nullptr) first.
  void setCapture(CaptureWriter* capture) { capture_ = capture; }

  // Per-unit values read by the unit set-up (and changed by the hardware settings): the unit's
  // AudioMode (3 until read) and its VarOffDelay in seconds (0 until read). The engine uses them
  // from the next record on. A unit outside 0-3 reads as 3 and 0 and is not changed.
  std::uint8_t audioMode(int unit) const;
  int varOffDelay(int unit) const;
  void setAudioMode(int unit, std::uint8_t mode);
  void setVarOffDelay(int unit, int seconds);
  // The unit's stream was started (its set-up went through): from now on the stream watch reads
  // its stream control byte when it falls quiet, and starts it again after a reset.
  void watchStream(int unit) { watch_.watch(unit); }

  // Hands a change of the list body to the next tick, which applies it after the unit passes
  // and recounts the capacity. An edit that cannot be applied yet (the list cannot be read or
  // rewritten) stays pending and is tried again on every tick. `done`, when given, is called
  // once: with the result of the tick that applied the edit, or, when a later request replaces
  // the edit before that, with an error of std::errc::operation_canceled. An edit whose oldText
  // is empty is no edit: `done` is called at once with applied false.
  using ListEditDone = std::function<void(const ListEditResult&)>;
  void requestListEdit(PendingListEdit edit, ListEditDone done = {});
  bool listEditPending() const { return pendingListEdit_.isPending() || editInWriter_.isPending(); }

  const PortState& port(int portIndex) const { return ports_[std::size_t(portIndex)]; }
  const CapacityCounters& capacity() const { return counters_; }
  const CapacityDisplay& capacityShown() const { return shown_; }
  // Rows of kept calls that are not in the list file yet: waiting for their rewrite, or for a
  // disk that did not take it.
  std::size_t deferredRows() const { return listWriter_->pendingRows(); }
  // Any thread (guarded by the list writer's mutex): the rows of the kept calls that are not in
  // the list file yet, newest first, each a whole row as it will stand in the file ("\r\n"
  // included). A row whose item number is not above the file's first row's number was written
  // between the two reads and is already in the file.
  std::vector<std::string> rowsNotInList() const { return listWriter_->rowsNotInList(); }
  // Writes every waiting row into the list now and waits for it (finishRun does so too).
  void flushList();
  // Rewrites of the list that went through in this run.
  std::uint64_t listRewrites() const { return listWriter_->rewrites(); }
  std::size_t deferredLogRecords() const { return pendingLog_.size(); }
  // Ended calls whose audio waits in memory for its file.
  std::size_t heldRecordings() const { return audio_.held().recordings(); }
  // The disk of the recording folder; a change is also reported through the diagnostics.
  DiskSpace diskSpace() const { return audio_.disk().space(); }
  std::filesystem::path listPath() const { return folder_ / settings_.lvLogHtmlName; }
  const std::filesystem::path& folder() const { return folder_; }
  // Records into `folder` from now on: new recordings, the call log and the list. A call in
  // progress keeps its recording in the folder it was created in.
  // The rows waiting for the old folder's list are written into it first.
  void setFolder(std::filesystem::path folder);
  // One retention pass now (see retention.h), with the rule of the settings. `done`, when given,
  // is told what the pass did: at once for a dry run, a pass that deletes nothing or one that
  // cannot run; once the tick that applied its list edit deleted the recordings otherwise.
  // Passes also run by themselves while the rule asks for any: after kept calls when a figure
  // passed the rule, and once every kRetentionPeriodMs.
  using RetentionDone = std::function<void(const RetentionReport&)>;
  void runRetention(bool dryRun, RetentionDone done = {});
  // Passes that ran (dry runs aside).
  std::uint64_t retentionPasses() const { return retention_.passes; }
  bool retentionRunning() const { return retention_.inFlight || retention_.planning != nullptr; }
  // The most work memory the call-end WAV conversion may take; a call needing more is kept as
  // recorded, after the out-of-memory message. Unlimited unless set (tests set it small).
  void setWavConversionMemoryLimit(std::size_t bytes) { audio_.setWavConversionMemoryLimit(bytes); }

 private:
  Engine(std::unique_ptr<UnitStreams> owned, base::Clock& clock, RecorderSettings& settings,
         std::filesystem::path folder, EngineView& view, base::Diagnostics& diagnostics,
         base::Prompt& prompt, const EngineOptions& options);

  void actOnRead(int unit, std::size_t n, std::int64_t now);
  device::UnitStreamBuffer& streamOf(int unit);
  void onRecord(int unit, const device::StreamRecord& record, std::int64_t now);
  void showUnitPorts(int unit);

  // Call events that touch files (engine_calls.cpp).
  void onAudioBlock(int unit, int portIndex, std::span<const std::uint8_t> block, std::int64_t now);
  void onCallEnd(int unit, int portIndex, std::span<const std::uint8_t> payload, std::int64_t now);
  void onOutgoingEnd(int unit, int portIndex, std::uint8_t code,
                     std::span<const std::uint8_t> payload, std::int64_t now);
  void keepCall(int unit, const PortState& port);
  void flushLog();
  // The list writer follows the list's path, is given its due rewrite, and its failures are
  // reported.
  void pollList();
  void followListPath();
  void noteListWrites();
  // The number of the next row, as a rewrite at this moment would give it.
  int nextItemNumber();
  void applyListEdit();
  void collectEditResult();
  // Rows of logged calls missing from the folder's list (a crash before their rewrite) are put
  // back and reported.
  void restoreRows();
  void finishListEdit(const ListEditResult& result, ListEditDone done);
  void showCapacity(const CapacityDisplay& display);
  // The counters as the window shows them: the items count only the rows on disk.
  void showCounters();
  // The recount form of updateCapacity, shown.
  void recount();

  // The recordings (engine_audio.cpp).
  void nameAudioFile(int unit, int portIndex, std::int64_t now);
  void writeDueAudio();
  // Held audio written as far as the disk takes it (`whenDue`: at most once a period); the
  // blocks of kept calls count towards the capacity.
  void retryHeldAudio(bool whenDue);

  // The stream watch's verdict carried out (engine_watch.cpp).
  bool inRecordedCall(int unit) const;

  // Retention and the disk watch (engine_retention.cpp).
  void noteCallKeptForRetention(std::uint32_t startTime);
  void retentionTick();
  bool retentionWanted(const RetentionRule& rule);
  std::vector<std::string> recordingsInUse() const;
  void finishRetention(const RetentionPlan& plan, const ListEditResult& result, RetentionDone done);
  // The free space shown beside the capacity figures, and warned about at 10 % and 2 %.
  void watchDisk(std::uint64_t freeBytes);
  void cutOffCalls(int unit, CutOff why);

  std::unique_ptr<UnitStreams> ownedUnits_;
  UnitStreams& units_;
  base::Clock& clock_;
  RecorderSettings& settings_;
  std::filesystem::path folder_;
  EngineView& view_;
  DiagnosticOnce failures_;
  base::Diagnostics& diagnostics_;

  std::array<PortState, device::kMaxPorts> ports_;
  std::uint32_t audioBufferSize_;
  // One buffer per unit, each allocated on its own when the unit's first bytes come: a unit that
  // is not attached holds none.
  std::array<std::unique_ptr<device::UnitStreamBuffer>, device::kMaxUnits> streams_;
  CapacityCounters counters_;
  CapacityDisplay shown_;
  PendingCallLog pendingLog_;
  // Writes the rows of kept calls and the edits; rows not yet in the file wait in it.
  std::unique_ptr<ListWriter> listWriter_;
  bool listFailing_ = false;
  // The list's name the writer's path was last made from; none until then and after a change of
  // folder.
  std::optional<std::string> followedListName_;
  std::uint64_t listRewritesSeen_ = 0;
  CaptureWriter* capture_ = nullptr;
  std::array<std::uint8_t, device::kMaxUnits> audioMode_{3, 3, 3, 3};
  std::array<int, device::kMaxUnits> varOffDelay_{0, 0, 0, 0};
  PendingListEdit pendingListEdit_;
  ListEditDone listEditDone_;
  // An edit handed to the list writer, and whom to tell of its result.
  PendingListEdit editInWriter_;
  ListEditDone editInWriterDone_;
  // The recordings' files, the disk's room and the audio held for it.
  AudioFiles audio_;
  StreamWatch watch_;
  // A pass planned on the list writer's thread: what the tick gave it, and what it found.
  struct RetentionPlanning;
  void continueRetention();
  void carryOutRetention(RetentionPlanning& planning);
  struct RetentionState {
    std::shared_ptr<RetentionPlanning> planning;  // a pass being planned off the tick
    bool inFlight = false;                        // a pass's list edit is handed over
    std::int64_t lastPassMs = -1;                 // monotonic; -1: none yet
    std::size_t keptSincePass = 0;                // calls kept since
    std::int64_t rowsAfterPass = -1;
    std::optional<std::uint32_t> oldestMayGo;  // of the last pass (see RetentionPlan)
    std::uint64_t passes = 0;
  };
  RetentionState retention_;
  DiskWatch diskWatch_;
};

}  // namespace parvolin::engine
