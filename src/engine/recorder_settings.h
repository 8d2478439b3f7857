#pragma once

#include <cstdint>
#include <string>

namespace parvolin::engine {

// Bits of ParvolinSetting.
inline constexpr std::uint32_t kDavaLevel1 = 0x01;
inline constexpr std::uint32_t kDavaLevel2 = 0x02;
inline constexpr std::uint32_t kHtmlListOn = 0x04;
inline constexpr std::uint32_t kKeepShortCalls = 0x08;
inline constexpr std::uint32_t kWavFormat = 0x10;
inline constexpr std::uint32_t kLvFormat = 0x20;

// The recorder's settings for one run, loaded at start-up and edited by the configuration
// dialog. The defaults here are those written to an empty settings store.
struct RecorderSettings {
  std::string parvolinPath;                       // "ParvolinPath": the recording folder
  std::string lvLogHtmlName = "ZEruTestNew.htm";  // "LvLogHtmlName"
  std::string lvUsername = "ZORUZIVA";            // "LvUsername"
  std::string lvPassword = "ZORUZIVA";            // "LvPassword"
  std::int32_t bLvSvrAllowed = 0;                 // "bLvSvrAllowed"
  std::int32_t bAutoRefresh = 1;                  // "bAutoRefresh"
  std::uint32_t parvolinSetting = kLvFormat | kKeepShortCalls | kHtmlListOn;  // 44
  std::int32_t itemLimit = 2000;  // "UItemNoLimitSetting"
  std::int32_t spaceLimit = 500;  // "USpaceLimitSetting", megabytes

  bool has(std::uint32_t bit) const { return (parvolinSetting & bit) != 0; }
  // 1 or 2, or 0 for no volume adjustment: level 1 wins when both bits are set.
  int davaLevel() const { return has(kDavaLevel1) ? 1 : has(kDavaLevel2) ? 2 : 0; }
};

}  // namespace parvolin::engine
