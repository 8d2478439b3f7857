#pragma once

// Audio that the disk did not take in time: what ended calls' files still wait for (held in
// memory and written when room comes back), and what was turned away (counted as lost, by file).

#include <cstddef>
#include <cstdint>
#include <deque>
#include <filesystem>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "engine/diagnostic_once.h"
#include "engine/disk_room.h"
#include "engine/unwritten.h"

namespace parvolin::engine {

// Audio of ended calls that their files did not take (a full disk) is held up to this much in
// all; beyond it, it is counted as lost.
inline constexpr std::size_t kMaxHeldAudioBytes = 64u << 20;

// Whether an ended call was kept (logged, listed): its audio then counts towards the capacity.
enum class CallKept { kYes, kNo };

// An ended call's audio that its file has not taken yet.
struct HeldRecording {
  std::filesystem::path folder;
  std::string name;
  bool made = false;  // the file exists: created by this run
  bool wav = false;   // converted once complete
  int mode = 3;
  CallKept kept = CallKept::kYes;
  std::uint64_t written = 0;         // bytes in the file
  std::vector<std::uint8_t> blocks;  // whole blocks, in order
};

class HeldAudio {
 public:
  // Every reference must outlive the HeldAudio.
  HeldAudio(DiskRoom& disk, DiagnosticOnce& failures) : disk_(disk), failures_(failures) {}

  // Holds `recording` until its file takes it. False, with its blocks counted as lost, when that
  // would take the held audio beyond kMaxHeldAudioBytes.
  [[nodiscard]] bool hold(HeldRecording recording);
  // `blocks` blocks of the recording `file` (made at AudioMode `mode`) were turned away.
  void countLost(const std::string& file, int mode, std::uint64_t blocks);
  // The recording `file` is gone (a dropped call): its lost blocks are no longer missed.
  void forgetLost(const std::string& file) { lost_.erase(file); }

  // Called for a recording once all of its audio is in its file.
  using Completed = std::function<void(const HeldRecording&)>;
  // Writes the held audio, oldest first, as far as each disk's room above its reserve goes: a
  // disk that takes nothing of one recording is not asked for the next. A recording whose name
  // was taken by another file in the meantime has nowhere to go: its blocks count as lost.
  // Returns the blocks written of kept calls.
  std::uint64_t retry(const Completed& completed);
  // The same at most once per `periodMs`, and only when something is held.
  std::uint64_t retryWhenDue(std::int64_t nowMs, std::int64_t periodMs, const Completed& completed);

  std::size_t recordings() const { return held_.size(); }
  // The names of the recordings held for files in `folder`.
  std::vector<std::string> namesIn(const std::filesystem::path& folder) const {
    std::vector<std::string> names;
    for (const HeldRecording& held : held_) {
      if (held.folder == folder) names.push_back(held.name);
    }
    return names;
  }
  std::size_t bytes() const { return bytes_; }
  // Adds the held audio, then the lost audio, to `summary`.
  void addTo(UnwrittenSummary& summary) const;

 private:
  DiskRoom& disk_;
  DiagnosticOnce& failures_;
  std::deque<HeldRecording> held_;
  std::size_t bytes_ = 0;
  std::int64_t triedAtMs_ = 0;
  std::map<std::string, RecordingBlocks> lost_;  // by file name
};

}  // namespace parvolin::engine
