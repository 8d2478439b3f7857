#include "engine/recording_files.h"

#include "base/audio_block.h"

#include <fcntl.h>
#include <unistd.h>

#include <array>
#include <cctype>
#include <cstdio>

#include "base/file_io.h"

namespace parvolin::engine {
namespace {

// Where the newest row's item number stands in the HTML list: 24 characters into the first row,
// which begins right after the 320-byte header.
constexpr std::size_t kFirstItemNumberOffset = 344;
constexpr std::size_t kItemNumberWidth = 5;

bool isRecordingName(const std::string& name) {
  if (name.size() < 4) return false;
  std::string ext = name.substr(name.size() - 4);
  for (char& c : ext) c = char(std::toupper(static_cast<unsigned char>(c)));
  return ext == ".WAV" || ext == ".LV0" || ext == ".LV1" || ext == ".LV2" || ext == ".LV3";
}

// The five characters at offset 344 of the list, or fewer when the file is shorter.
std::string formatText(const char* format, int a, int b) {
  char text[96];
  std::snprintf(text, sizeof text, format, a, b);
  return text;
}

}  // namespace

std::string recordingFileName(std::uint32_t startTime, int portIndex, int audioMode,
                              bool wavFormat) {
  char name[32];
  if (wavFormat) {
    std::snprintf(name, sizeof name, "w%08Xp%01X.WAV", startTime, unsigned(portIndex));
  } else {
    std::snprintf(name, sizeof name, "w%08Xp%01X.LV%01X", startTime, unsigned(portIndex),
                  unsigned(audioMode));
  }
  return name;
}

int firstItemNumberOfList(const std::filesystem::path& listPath) {
  base::FileHandle file(::open(listPath.c_str(), O_RDONLY | O_CLOEXEC));
  if (!file.isOpen()) return 0;
  std::array<char, kItemNumberWidth> chars{};
  const ssize_t n = ::pread(file.fd(), chars.data(), chars.size(), kFirstItemNumberOffset);
  if (n <= 0) return 0;
  return readItemNumber({chars.data(), std::size_t(n)}, 0);
}

int readItemNumber(std::string_view bytes, std::size_t offset) {
  // A field cut short by the end of the file holds no number.
  if (bytes.size() < offset + kItemNumberWidth) return 0;
  std::string_view field = bytes.substr(offset, kItemNumberWidth);
  std::size_t i = 0;
  while (i < field.size() && field[i] == ' ') ++i;
  bool negative = false;
  if (i < field.size() && (field[i] == '-' || field[i] == '+')) negative = field[i++] == '-';
  int value = 0;
  for (; i < field.size() && std::isdigit(static_cast<unsigned char>(field[i])); ++i) {
    value = value * 10 + (field[i] - '0');
  }
  return negative ? -value : value;
}

std::int32_t countRecordedBlocks(const std::filesystem::path& folder) {
  std::int64_t blocks = 0;
  std::error_code error;
  for (std::filesystem::directory_iterator it(folder, error), end; !error && it != end;
       it.increment(error)) {
    if (!isRecordingName(it->path().filename().string())) continue;
    std::error_code sizeError;
    if (!it->is_regular_file(sizeError)) continue;
    const std::uintmax_t size = it->file_size(sizeError);
    if (!sizeError) blocks += std::int64_t(size / base::kAudioBlockSize);
  }
  return blocks > INT32_MAX ? INT32_MAX : std::int32_t(blocks);
}

CapacityDisplay capacityDisplay(const CapacityCounters& counters, const CapacityLimits& limits) {
  CapacityDisplay d;
  const int megabytes = counters.loggedBlocks / std::int32_t(kBlocksPerMegabyte);
  d.itemsText = formatText("Logged Items: %d / %d ", counters.loggedItems, limits.itemLimit);
  d.itemsRangeEnd = std::uint16_t(limits.itemLimit);
  d.itemsPosition = counters.loggedItems;
  d.spaceText = formatText("Logged Space: %d / %d (MB)", megabytes, limits.spaceLimitMb);
  d.spaceRangeEnd = std::uint16_t(limits.spaceLimitMb);
  d.spacePosition = megabytes;
  return d;
}

CapacityDisplay updateCapacity(CapacityCounters& counters, const std::filesystem::path& folder,
                               const std::filesystem::path& listPath, const CapacityLimits& limits,
                               const std::optional<KeptCall>& call, bool keepRowCount) {
  if (counters.loggedItems != -1 && call) {
    ++counters.loggedItems;
  } else {
    std::error_code error;
    counters.loggedItems =
        std::filesystem::exists(listPath, error) ? firstItemNumberOfList(listPath) : 0;
  }

  if (counters.loggedBlocks != -1 && call) {
    if (call->record.isAnswered()) {
      const std::string name = recordingFileName(call->record.startTime, call->record.portIndex,
                                                 call->audioMode, call->wavFormat);
      std::error_code error;
      const std::uintmax_t size = std::filesystem::file_size(folder / name, error);
      if (!error) {
        const std::int64_t blocks =
            std::int64_t(counters.loggedBlocks) + std::int64_t(size / base::kAudioBlockSize);
        counters.loggedBlocks = blocks > INT32_MAX ? INT32_MAX : std::int32_t(blocks);
      }
    }
  } else {
    counters.loggedBlocks = countRecordedBlocks(folder);
  }

  if (!keepRowCount) counters.rowCountCache = counters.loggedItems;
  return capacityDisplay(counters, limits);
}

}  // namespace parvolin::engine
