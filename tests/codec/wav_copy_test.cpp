#include "codec/wav_copy.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <ctime>

#include "codec/fake_save_dialog.h"
#include "codec/wav_header.h"
#include "support/scripted_prompt.h"
#include "support/test_files.h"

namespace parvolin::codec {
namespace {

// The recorder's name of a call started at the local time given, on port index `port`.
std::string recordingName(int year, int month, int day, int hour, int minute, int second, int port,
                          const char* extension = ".LV1") {
  std::tm local{};
  local.tm_year = year - 1900;
  local.tm_mon = month - 1;
  local.tm_mday = day;
  local.tm_hour = hour;
  local.tm_min = minute;
  local.tm_sec = second;
  local.tm_isdst = -1;
  char name[32];
  std::snprintf(name, sizeof name, "w%08Xp%01X%s", static_cast<unsigned>(std::mktime(&local)),
                static_cast<unsigned>(port), extension);
  return name;
}

TEST(WavCopyName, PortNumberAndLocalStartTime) {
  EXPECT_EQ(proposedWavName(recordingName(2006, 6, 3, 14, 5, 9, 4)), "P5 06-03-06 14=05=09.WAV");
  EXPECT_EQ(proposedWavName(recordingName(2019, 12, 31, 23, 59, 58, 0xB, ".lv3")),
            "P12 12-31-19 23=59=58.WAV");
  EXPECT_EQ(proposedWavName(recordingName(2024, 2, 29, 0, 0, 0, 9)), "P10 02-29-24 00=00=00.WAV");
  EXPECT_EQ(proposedWavName(recordingName(2024, 2, 29, 0, 0, 0, 0xF)), "P16 02-29-24 00=00=00.WAV");
}

TEST(WavCopyName, ReadsItsPlacesFromTheEndOfAnyPath) {
  const std::string name = recordingName(2006, 6, 3, 14, 5, 9, 4);
  EXPECT_EQ(proposedWavName("/home/office/calls/copy of " + name), "P5 06-03-06 14=05=09.WAV");
  std::string lower = name;
  for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  EXPECT_EQ(proposedWavName(lower), "P5 06-03-06 14=05=09.WAV");
}

TEST(WavCopyName, OtherNamesProposeTheirOwnStem) {
  EXPECT_EQ(proposedWavName("meeting.lv2"), "MEETING.WAV");
  EXPECT_EQ(proposedWavName("/calls/Sales call with Bob.LV1"), "SALES CALL WITH BOB.WAV");
  EXPECT_EQ(proposedWavName("wXYZ12345p4.LV1"), "WXYZ12345P4.WAV");
  EXPECT_EQ(proposedWavName("w4481 C25pG.LV1"), "W4481 C25PG.WAV");
}

TEST(WavCopySave, WritesHeaderAndSoundOrTellsWhyNot) {
  parvolin::test::TempFolder folder;
  const std::vector<std::uint8_t> pcm = {0, 128, 255, 7};
  parvolin::test::ScriptedPrompt prompt;
  test::FakeSaveDialog dialog;
  dialog.answer = folder.path() / "P5.WAV";
  EXPECT_TRUE(saveWavCopy("/x/meeting.LV2", pcm, dialog, prompt));
  EXPECT_EQ(dialog.proposed, "MEETING");
  const auto bytes = parvolin::test::readBytes(*dialog.answer);
  ASSERT_EQ(bytes.size(), kWavHeaderSize + 4);
  const auto header = WavHeader::decode(
      std::span<const std::uint8_t, kWavHeaderSize>(bytes.data(), kWavHeaderSize));
  EXPECT_EQ(header, *WavHeader::forDataBytes(4));
  EXPECT_EQ(std::vector<std::uint8_t>(bytes.begin() + kWavHeaderSize, bytes.end()), pcm);
  ASSERT_EQ(prompt.shown.size(), 1u);
  EXPECT_EQ(prompt.shown[0].text, "WAVE file has been saved. Click for playback!");
  EXPECT_EQ(prompt.shown[0].icon, base::PromptIcon::Exclamation);

  // A file that cannot be made leaves nothing behind.
  dialog.answer = folder.path() / "missing" / "x.WAV";
  EXPECT_FALSE(saveWavCopy("x.LV1", pcm, dialog, prompt));
  EXPECT_EQ(prompt.shown.back().text, "Failed to create the named WAVE file. Click for playback!");
  EXPECT_FALSE(std::filesystem::exists(folder.path() / "missing"));

  dialog.answer.reset();
  EXPECT_FALSE(saveWavCopy("x.LV1", pcm, dialog, prompt));
  EXPECT_EQ(prompt.shown.size(), 2u);
}

}  // namespace
}  // namespace parvolin::codec
