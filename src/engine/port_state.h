#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <span>
#include <string>
#include <string_view>

#include "base/file_io.h"
#include "device/unit_link.h"
#include "engine/call_record.h"

namespace parvolin::engine {

inline constexpr std::uint32_t kAudioBufferSize = 1'048'576;

// The status line a port shows: part of the port's state (the call events test it), shown as a
// fixed text with the PortNumber in it.
enum class PortLine {
  kBlank,            // ""  (before the main window set its first line)
  kCallerNumber,     // " Port:  %d          Caller #"
  kRinging,          // " Port:  %d          Ringing"
  kDialOut,          // " Port:  %d          Dial Out"
  kAnswering,        // " Port:  %d          Answering"
  kVarMode,          // " Port:  %d          VAR mode"
  kRecording,        // " Port:  %d          Recording"
  kRecordingSecond,  // " Port:  %d          ---------"
  kAnswered,         // " Port:  %d         Answered "
  kUnAnswered,       // " Port:  %d       Un-Answered"
  kCalloutFinished,  // " Port:  %d  Callout Finished"
  kVarFinished,      // " Port:  %d  VAR     Finished"
  kNone,             // " Port:  %d            NONE"  (no unit behind the port)
  kIdle,             // " Port:  %d            IDLE"  (unit set up, no call yet)
};
inline constexpr int kPortLineCount = 14;

// The text of `line` for the port `portIndex` (0-15).
const std::string& portLine(PortLine line, int portIndex);

inline constexpr char kCallerCaption[] = "Caller #:\n";
inline constexpr char kDialedCaption[] = "Dialed:\n";
inline constexpr char kVarDialedCaption[] = "VAR Dialed:\n";

// One port: its call, its two display lines, and the audio file and buffer of the current call.
struct PortState {
  CallRecord record;  // record.portIndex is the port's own index
  PortLine line = PortLine::kBlank;
  std::string detailText;

  // The status line as shown.
  const std::string& statusText() const { return portLine(line, record.portIndex); }

  // The call's recording: named at its first audio block (firstAudioSec is then set), and open
  // from then to the call's end. A file that could not be made is tried again at every write.
  base::FileHandle audioFile;
  std::filesystem::path audioFolder;            // the recording folder it was named in
  std::string audioFileName;                    // the name it was created under
  bool audioFileIsWav = false;                  // created under the ".WAV" name
  int audioFileMode = 0;                        // the AudioMode its name carries
  std::uint64_t audioWritten = 0;               // bytes in the file, whole blocks
  std::unique_ptr<std::uint8_t[]> audioBuffer;  // the engine's buffer size, for the whole run
  std::uint32_t audioFill = 0;                  // a multiple of 512, not yet in the file
  std::int64_t audioWrittenAtMs = 0;            // monotonic time of the last write (or naming)
  bool audioWriteFailed = false;                // the last write left blocks in the buffer
  std::uint64_t audioLostBlocks = 0;            // blocks of this call the full buffer turned away

  bool hasRecording() const { return record.firstAudioSec != 0; }
};

// The port shows one of its two recording lines ("Recording", "---------"): it is in the middle
// of a recorded call and ignores call events.
bool isRecordingShown(const PortState& port);

// Acts on a call event (codes 1-5 and 10) or a digit event (code 9): the events that touch no
// file. Call events are ignored while isRecordingShown holds. `now` is in seconds since 1970.
void applyCallEvent(PortState& port, std::uint8_t code, std::span<const std::uint8_t> payload,
                    std::int64_t now);

// Steps 1 and 2 of an audio block: the status line alternates, the call starts if idle, the
// answered bit is set.
void noteAudioBlock(PortState& port, std::int64_t now);

// now - startTime in seconds: 0 when negative, else taken to 16 bits.
std::uint16_t elapsedSeconds(std::int64_t now, std::uint32_t startTime);

// callText 0-11 from the caller number in payload bytes 1-6 (table A), "?" for a missing first
// digit; 12-21 kept.
void takeCallerNumber(CallRecord& record, std::span<const std::uint8_t> payload);
// callText 0-21 from the dialled digits in payload bytes 7-17 (table B).
void takeDialledNumber(CallRecord& record, std::span<const std::uint8_t> payload);

// The short-call rule for an outgoing (code 8) or voice-activated (code 11) call that ended
// `lastedSec` after its start (not taken to 16 bits: a call of 18 hours is not short however its
// durationSec wraps): true when the call is to be dropped (KeepShortCalls not considered here).
bool isShortCall(std::uint8_t endCode, const CallRecord& record, std::int64_t lastedSec,
                 int varOffDelaySec);

// The port after a call: idle, blank text, no audio, nothing lost. startTime, durationSec,
// portIndex and the display lines stay.
void resetCall(PortState& port);

}  // namespace parvolin::engine
