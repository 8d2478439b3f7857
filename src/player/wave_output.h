#pragma once

#include <cstdint>
#include <span>
#include <string_view>

#include "base/prompt.h"
#include "codec/lv_format.h"

// The sound output of the player: 8-bit unsigned PCM, one channel, 8000 samples per second,
// one buffer handed over in one piece. The operations, their order of steps and their messages
// live here; a backend supplies only the device steps.
namespace parvolin::player {

inline constexpr int kWaveSamplesPerSecond = codec::kSamplesPerSecond;
inline constexpr int kWaveBitsPerSample = 8;
inline constexpr int kWaveChannels = 1;

inline constexpr std::string_view kFormatRefusedText = "Device failed to open 1!";
inline constexpr std::string_view kOpenFailedText = "Device failed to open 2!";
inline constexpr std::string_view kInvalidHandleText = "Audio device fails!";
inline constexpr std::string_view kNoDriverText = "No available audio device!";
inline constexpr std::string_view kNoMemoryText = "Memory fails!";
inline constexpr std::string_view kUnknownErrorText = "Unkown error!";
inline constexpr std::string_view kPlayFailedText = "Play failed!";

// How handing a buffer to the device failed.
enum class WaveWriteResult {
  kDone,
  kInvalidHandle,  // the device is gone
  kNoDriver,       // no driver or device for the format
  kNoMemory,
  kOtherPrepareError,
  kWriteFailed,  // the buffer was accepted but could not be started
};

std::string_view messageFor(WaveWriteResult result);

class WaveOutput {
 public:
  explicit WaveOutput(base::Prompt& prompt) : prompt_(prompt) {}
  // A backend's destructor calls close(): the base cannot reach the device steps any more.
  virtual ~WaveOutput() = default;
  WaveOutput(const WaveOutput&) = delete;
  WaveOutput& operator=(const WaveOutput&) = delete;

  // Asks whether the format can be played ("Device failed to open 1!" if not), then opens the
  // device ("Device failed to open 2!" on failure). After a failure the device is closed and
  // false returned.
  [[nodiscard]] bool open();
  // Hands `data` to the device, replacing whatever it was playing. A failure shows its message
  // (messageFor) and closes the device. Without an open device nothing is played and nothing
  // shown, so that a player without sound shows its messages once and then runs silently.
  // `data` stays valid and unchanged until the next play, stop or close.
  bool play(std::span<const std::uint8_t> data);
  // Stops the sound at once; the device stays open.
  void stop();
  // Stops the sound at once and closes the device.
  void close();
  // Lets the device play to the end of the buffer it was given, then closes it.
  void drainAndClose();

  bool isOpen() const { return open_; }

 protected:
  // The device steps. Each is called only in the state its name implies.
  [[nodiscard]] virtual bool formatSupported() = 0;  // the query-only open
  [[nodiscard]] virtual bool openDevice() = 0;
  virtual WaveWriteResult writeBuffer(std::span<const std::uint8_t> data) = 0;
  virtual void resetDevice() = 0;  // stops the sound and gives the buffer back
  virtual void waitUntilPlayed() = 0;
  virtual void closeDevice() = 0;

 private:
  base::Prompt& prompt_;
  bool open_ = false;
};

}  // namespace parvolin::player
