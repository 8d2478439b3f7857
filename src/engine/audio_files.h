#pragma once

// The recordings' files: a call's file made when its audio begins, its buffered audio written in
// whole blocks as far as the disk's room above the reserve goes, the file closed (and converted
// to WAV) once everything is in it, and what the disk did not take held and written later.

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <limits>
#include <string>

#include "base/clock.h"
#include "base/diagnostics.h"
#include "base/prompt.h"
#include "codec/dava.h"
#include "engine/diagnostic_once.h"
#include "engine/disk_room.h"
#include "engine/held_audio.h"
#include "engine/port_state.h"
#include "engine/recorder_settings.h"

namespace parvolin::engine {

// A call's buffered audio goes to its file at least this often, so that a crash or a power cut
// loses at most about a second of each call.
inline constexpr std::int64_t kAudioWritePeriodMs = 1000;

class AudioFiles {
 public:
  // `recordingFolder` is the engine's folder as it stands at each use (see DiskRoom). Every
  // reference must outlive the AudioFiles.
  AudioFiles(const std::filesystem::path& recordingFolder, base::Clock& clock,
             RecorderSettings& settings, base::Prompt& prompt, base::Diagnostics& diagnostics,
             DiagnosticOnce& failures);

  // Makes the port's recording under its name in its folder, never replacing a file: the call's
  // start moves on a second while the name is taken. False, the failure reported, when it
  // cannot be made; it is tried again at every write.
  [[nodiscard]] bool create(PortState& port);
  // Writes the port's buffered audio as far as its file and the disk take it; what is left stays
  // in the buffer (audioWriteFailed).
  void writeBuffered(PortState& port);
  // The call is over: its audio written and its file closed (and converted); what the file does
  // not take is held for later ticks, so that the port is free for the next call. Audio that the
  // full buffer turned away is reported.
  void finish(PortState& port, CallKept kept);
  // A dropped call: its file deleted, nothing of its buffer written; its audio still moves the
  // WAV conversion's gain level on, as its conversion would have.
  void drop(PortState& port);
  // Held audio written as far as the disk takes it (see HeldAudio::retry), each recording
  // completed converted; `whenDue`: at most once per kAudioWritePeriodMs. Returns the blocks
  // written of kept calls.
  std::uint64_t retryHeld(bool whenDue);

  DiskRoom& disk() { return disk_; }
  const DiskRoom& disk() const { return disk_; }
  HeldAudio& held() { return held_; }
  const HeldAudio& held() const { return held_; }
  // The most work memory a call-end WAV conversion may take (see Engine).
  void setWavConversionMemoryLimit(std::size_t bytes) { wavMemoryLimit_ = bytes; }

 private:
  void closeFile(PortState& port);
  void convert(const std::filesystem::path& folder, const std::string& name, bool wav);
  void passThroughGain(const PortState& port);

  base::Clock& clock_;
  RecorderSettings& settings_;
  base::Prompt& prompt_;
  base::Diagnostics& diagnostics_;
  DiagnosticOnce& failures_;
  DiskRoom disk_;
  HeldAudio held_;
  codec::DavaGainState gain_;
  std::size_t wavMemoryLimit_ = std::numeric_limits<std::size_t>::max();
};

}  // namespace parvolin::engine
