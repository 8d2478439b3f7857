#include "player/recording_file.h"

#include <gtest/gtest.h>

#include "player/time_label.h"
#include "support/test_files.h"

namespace parvolin::player {
namespace {

TEST(PlayerCommandLine, TheWholeTextAfterTheProgramIsThePath) {
  const char* none[] = {"lvplayer"};
  EXPECT_EQ(commandLinePath(1, none), "");
  const char* split[] = {"lvplayer", "/calls/March", "calls/w1p0.LV1"};
  EXPECT_EQ(commandLinePath(3, split), "/calls/March calls/w1p0.LV1");
  const char* quoted[] = {"lvplayer", "\"x.LV1\""};
  EXPECT_EQ(commandLinePath(2, quoted), "\"x.LV1\"");
}

TEST(PlayerCommandLine, TheModeComesFromTheLastThreeCharacters) {
  const std::pair<const char*, std::optional<int>> cases[] = {
      {"w44819C25p4.LV0", 0},      {"x.lv2", 2},
      {"/a b/x.Lv3", 3},           {"fileLV1", 1},
      {"x.LV4", std::nullopt},     {"x.wav", std::nullopt},
      {"\"x.LV1\"", std::nullopt}, {"V1", std::nullopt},
      {"", std::nullopt},
  };
  for (const auto& [name, mode] : cases) EXPECT_EQ(modeFromName(name), mode) << name;
}

TEST(PlayerCommandLine, OnlyAnExistingRegularFileOpens) {
  parvolin::test::TempFolder folder;
  const auto file = folder.path() / "w1p0.LV0";
  parvolin::test::writeBytes(file, {1, 2, 3});
  auto opened = RecordingFile::open(file);
  ASSERT_TRUE(opened);
  EXPECT_EQ(opened->length(), 3u);
  std::uint8_t bytes[8] = {};
  EXPECT_EQ(opened->readAt(0, bytes, 8), 3u);  // a file shorter than expected reads as it is
  EXPECT_EQ(bytes[2], 3);
  EXPECT_EQ(opened->readAt(1, bytes, 8), 2u);
  EXPECT_EQ(bytes[0], 2);
  EXPECT_EQ(opened->readAt(9, bytes, 8), 0u);
  EXPECT_FALSE(RecordingFile::open(folder.path() / "missing.LV0"));
  EXPECT_FALSE(RecordingFile::open(folder.path()));
}

TEST(PlayerTimeLabel, MinutesAndUnpaddedSecondsOfPositionAndLength) {
  EXPECT_EQ(timeTextAtMs(65'000, 265 * 8000), "1'5\" / 4'25\"");
  EXPECT_EQ(timeTextAtMs(0, 4'240'000), "0'0\" / 8'50\"");
  EXPECT_EQ(timeTextAtMs(59'999, 8000 * 3600), "0'59\" / 60'0\"");
  EXPECT_EQ(timeTextAtSample(8000 * 61 + 7999, 4'240'000), "1'1\" / 8'50\"");
}

}  // namespace
}  // namespace parvolin::player
