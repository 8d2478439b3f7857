#include "engine/disk_watch.h"

#include <cstdio>

namespace parvolin::engine {
namespace {

std::string sizeText(std::uint64_t bytes) {
  constexpr double kMb = 1024.0 * 1024.0;
  char text[32];
  const double mb = double(bytes) / kMb;
  if (mb >= 1024.0) {
    std::snprintf(text, sizeof text, "%.1f GB", mb / 1024.0);
  } else {
    std::snprintf(text, sizeof text, "%.1f MB", mb);
  }
  return text;
}

// The free share of the disk in hundredths of a percent, so that the marks compare exactly.
std::uint64_t basisPoints(std::uint64_t freeBytes, std::uint64_t totalBytes) {
  if (totalBytes == 0) return 10'000;
  const unsigned __int128 scaled = static_cast<unsigned __int128>(freeBytes) * 10'000u;
  return std::uint64_t(scaled / totalBytes);
}

}  // namespace

std::string freeSpaceText(std::uint64_t freeBytes, std::optional<std::uint64_t> totalBytes) {
  std::string text = sizeText(freeBytes) + " free";
  if (totalBytes && *totalBytes != 0) {
    text += " (" + std::to_string(basisPoints(freeBytes, *totalBytes) / 100) + " %)";
  }
  return text;
}

std::optional<std::string> DiskWatch::update(std::uint64_t freeBytes, std::uint64_t totalBytes,
                                             const std::string& folder) {
  if (totalBytes == 0) return std::nullopt;
  const std::uint64_t share = basisPoints(freeBytes, totalBytes);
  const auto below = [share](int percent) { return share < std::uint64_t(percent) * 100; };
  const auto above = [share](int percent) {
    return share >= std::uint64_t(percent + kDiskRearmPoints) * 100;
  };
  DiskLevel next = level_;
  if (below(kDiskVeryLowPercent)) {
    next = DiskLevel::kVeryLow;
  } else if (below(kDiskLowPercent)) {
    // Back from very low only once clearly above 2 %.
    if (next != DiskLevel::kVeryLow || above(kDiskVeryLowPercent)) next = DiskLevel::kLow;
  } else if (next == DiskLevel::kUnknown || above(kDiskLowPercent)) {
    next = DiskLevel::kFine;
  } else if (next == DiskLevel::kVeryLow && above(kDiskVeryLowPercent)) {
    next = DiskLevel::kLow;
  }
  const DiskLevel before = level_;
  level_ = next;
  const bool fell =
      (next == DiskLevel::kLow && (before == DiskLevel::kFine || before == DiskLevel::kUnknown)) ||
      (next == DiskLevel::kVeryLow && before != DiskLevel::kVeryLow);
  if (!fell) return std::nullopt;
  const int mark = next == DiskLevel::kVeryLow ? kDiskVeryLowPercent : kDiskLowPercent;
  return "Recording disk below " + std::to_string(mark) +
         " % free: " + freeSpaceText(freeBytes, totalBytes) + " in " + folder;
}

}  // namespace parvolin::engine
