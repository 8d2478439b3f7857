#include "codec/wav_copy.h"

#include <cctype>
#include <cstdio>
#include <ctime>

#include "base/file_io.h"
#include "codec/wav_header.h"

namespace parvolin::codec {

namespace {

// Positions counted from the end of a recorder's name "w%08Xp%01X.LV%01X".
constexpr std::size_t kStartDigitsFromEnd = 14;
constexpr std::size_t kStartDigits = 8;
constexpr std::size_t kPortFromEnd = 6;  // "p" and the port digit

int hexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

std::string upper(std::string text) {
  for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return text;
}

std::string stemOf(std::string_view fileName) {
  const auto dot = fileName.rfind('.');
  return std::string(dot == std::string_view::npos || dot == 0 ? fileName
                                                               : fileName.substr(0, dot));
}

}  // namespace

std::string proposedWavName(std::string_view fileName) {
  const auto slash = fileName.find_last_of('/');
  if (slash != std::string_view::npos) fileName.remove_prefix(slash + 1);
  const std::string fallback = upper(stemOf(fileName)) + ".WAV";
  if (fileName.size() < kStartDigitsFromEnd) return fallback;

  const std::string_view digits =
      fileName.substr(fileName.size() - kStartDigitsFromEnd, kStartDigits);
  std::uint32_t start = 0;
  for (const char c : digits) {
    const int v = hexValue(c);
    if (v < 0) return fallback;
    start = start * 16 + static_cast<std::uint32_t>(v);
  }
  const std::string_view port = fileName.substr(fileName.size() - kPortFromEnd, 2);
  const int portIndex = hexValue(port[1]);
  if (portIndex < 0) return fallback;

  const std::time_t when = start;
  std::tm local{};
  if (!localtime_r(&when, &local)) return fallback;
  char stamp[64];
  std::snprintf(stamp, sizeof stamp, " %02d-%02d-%02d %02d=%02d=%02d", local.tm_mon + 1,
                local.tm_mday, local.tm_year - 100, local.tm_hour, local.tm_min, local.tm_sec);
  return upper(std::string(1, port[0]) + std::to_string(portIndex + 1) + stamp) + ".WAV";
}

std::error_code writeWavCopy(const std::filesystem::path& target,
                             std::span<const std::uint8_t> pcm) {
  const auto header = WavHeader::forDataBytes(pcm.size());
  if (!header) return std::make_error_code(std::errc::file_too_large);
  const auto head = header->encode();
  return base::replaceFileContents(target, {head, pcm});
}

bool saveWavCopy(std::string_view playingFileName, std::span<const std::uint8_t> pcm,
                 SaveNameDialog& dialog, base::Prompt& prompt, const SaveTargetCheck& refuse) {
  std::string proposed = proposedWavName(playingFileName);
  proposed.resize(proposed.size() - (kWavCopyExtension.size() + 1));
  const auto target = dialog.askSaveName(proposed);
  if (!target) return false;
  if (const auto problem = refuse ? refuse(*target) : std::nullopt) {
    prompt.message(*problem, base::PromptIcon::Exclamation);
    return false;
  }
  const bool saved = !writeWavCopy(*target, pcm);
  prompt.message(saved ? kWavCopySavedText : kWavCopyFailedText, base::PromptIcon::Exclamation);
  return saved;
}

}  // namespace parvolin::codec
