#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <system_error>

#include "base/prompt.h"

// The player's "Wave file conversion": its current 8-bit sound saved as a WAV file under a name
// the user confirms.
namespace parvolin::codec {

inline constexpr std::string_view kWavCopySavedText =
    "WAVE file has been saved. Click for playback!";
inline constexpr std::string_view kWavCopyFailedText =
    "Failed to create the named WAVE file. Click for playback!";
inline constexpr std::string_view kWavCopyExtension = "WAV";
inline constexpr std::string_view kWavCopyFilter = "*.WAV";

// The save-file dialog: default extension "WAV", the one type "*.WAV", starting in the current
// folder, asking before an existing file is replaced.
class SaveNameDialog {
 public:
  virtual ~SaveNameDialog() = default;
  // Shows the dialog with its name field preset to `proposedStem` (the name without ".WAV");
  // returns the chosen file, or nullopt when the user cancels.
  virtual std::optional<std::filesystem::path> askSaveName(std::string_view proposedStem) = 0;
};

// The name proposed for the WAV copy of the recording `fileName` (a recorder's name,
// "w%08Xp%01X.LV%01X"): "P", the port number 1-16, a blank and the local date and time of the
// call's start as "MM-DD-YY hh=mm=ss", upper-cased, with ".WAV": "P5 06-03-06 14=05=09.WAV".
// The eight hexadecimal digits are the eight characters that begin 14 characters before the end
// of the name and the port digit is the fifth character from the end, so a copied or prefixed
// recording still works. A name that does not hold hexadecimal digits in those places proposes
// its own stem, upper-cased, with ".WAV".
std::string proposedWavName(std::string_view fileName);

// Writes `pcm` (8-bit unsigned samples) as a WAV file `target`, replacing an existing file only
// once the new one is complete. Returns the error; empty on success.
[[nodiscard]] std::error_code writeWavCopy(const std::filesystem::path& target,
                                           std::span<const std::uint8_t> pcm);

// Why a chosen file may not be written (one of a recording folder's own files); nothing when it
// may.
using SaveTargetCheck =
    std::function<std::optional<std::string>(const std::filesystem::path& target)>;

// The save itself, between the player's pause and resume: proposes the name, asks for the file,
// writes it and shows "WAVE file has been saved. Click for playback!" or "Failed to create the
// named WAVE file. Click for playback!" (exclamation icon). A file that `refuse` names a reason
// for is not written: the reason is shown instead. Nothing is shown on cancel. Returns true when
// a file was written.
[[nodiscard]] bool saveWavCopy(std::string_view playingFileName, std::span<const std::uint8_t> pcm,
                               SaveNameDialog& dialog, base::Prompt& prompt,
                               const SaveTargetCheck& refuse = {});

}  // namespace parvolin::codec
