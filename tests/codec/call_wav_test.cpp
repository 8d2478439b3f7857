#include "codec/call_wav.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

#include "base/file_io.h"
#include "codec/lv_decoder.h"
#include "codec/wav_header.h"
#include "support/expect_ok.h"
#include "support/scripted_prompt.h"
#include "support/test_files.h"

namespace parvolin::codec {
namespace {

namespace fs = std::filesystem;
using test::readBytes;
using test::TempFolder;
using test::writeBytes;

std::vector<std::uint8_t> logCodes(std::size_t n) {
  std::vector<std::uint8_t> v(n);
  // Quiet speech: segments 0-2, so that Dava has something to amplify.
  for (std::size_t i = 0; i < n; ++i) {
    v[i] = static_cast<std::uint8_t>(((i * 37) & 0x8F) | (((i / 300) % 3) << 4));
  }
  return v;
}

// What the conversion must produce: header, then the expanded, optionally adjusted samples.
std::vector<std::uint8_t> expectedWav(const std::vector<std::uint8_t>& codes, int level,
                                      DavaGainState& gain) {
  std::vector<std::int16_t> samples;
  for (std::uint8_t c : codes) samples.push_back(static_cast<std::int16_t>(expandLogByte(c)));
  if (level != 0) applyDava(samples, level, gain);
  const auto head = WavHeader::forDataBytes(codes.size())->encode();
  std::vector<std::uint8_t> out(head.begin(), head.end());
  for (std::int16_t s : samples) out.push_back(toUnsigned8(s));
  return out;
}

TEST(ConvertCallToWav, DavaOnlyAbove4096BytesWithTheGainCarriedOn) {
  TempFolder dir;
  parvolin::test::ScriptedPrompt prompt;
  DavaGainState gain;      // the recorder's own, never reset
  DavaGainState expected;  // a model of it
  for (std::size_t n : {std::size_t{4096}, std::size_t{4097}, std::size_t{9000}}) {
    const fs::path rec = dir.path() / "w499602D2pB.WAV";
    const auto codes = logCodes(n);
    writeBytes(rec, codes);
    ASSERT_TRUE(convertCallToWav(rec, kDavaLevel2, gain, prompt)) << n;
    const auto want = expectedWav(codes, n > 4096 ? kDavaLevel2 : kDavaNone, expected);
    EXPECT_EQ(readBytes(rec), want) << n;
    EXPECT_EQ(gain.level, expected.level) << n;
    EXPECT_FALSE(fs::exists(base::temporaryPathFor(rec)));
  }
  EXPECT_NE(gain.level, 1) << "the codes should have moved the gain";
  EXPECT_TRUE(prompt.shown.empty());
}

TEST(ConvertCallToWav, EmptyRecordingBecomesAHeader) {
  TempFolder dir;
  parvolin::test::ScriptedPrompt prompt;
  DavaGainState gain;
  const fs::path rec = dir.path() / "w00000001p0.WAV";
  writeBytes(rec, {});
  ASSERT_TRUE(convertCallToWav(rec, kDavaLevel1, gain, prompt));
  const auto bytes = readBytes(rec);
  ASSERT_EQ(bytes.size(), 44u);
  EXPECT_EQ(bytes[4], 36);
  EXPECT_EQ(bytes[40], 0);
}

TEST(ConvertCallToWav, FailuresKeepTheRecording) {
  TempFolder dir;
  const fs::path rec = dir.path() / "w00000002p3.WAV";
  const auto codes = logCodes(5000);
  DavaGainState gain;

  {  // Out of memory: the system's text, the recording untouched.
    writeBytes(rec, codes);
    parvolin::test::ScriptedPrompt prompt;
    EXPECT_FALSE(convertCallToWav(rec, kDavaLevel1, gain, prompt, 9999));
    ASSERT_EQ(prompt.shown.size(), 1u);
    EXPECT_EQ(prompt.shown[0].text, "WAVE files conversion: Not enough memory!");
    EXPECT_EQ(readBytes(rec), codes);
    EXPECT_EQ(gain.level, 1);
  }
  {  // The temporary file cannot be created (a folder stands in its place).
    parvolin::test::ScriptedPrompt prompt;
    fs::create_directory(base::temporaryPathFor(rec));
    EXPECT_FALSE(convertCallToWav(rec, kDavaLevel1, gain, prompt));
    EXPECT_EQ(readBytes(rec), codes);
    EXPECT_TRUE(prompt.shown.empty());
    fs::remove(base::temporaryPathFor(rec));
  }
  {  // No recording at all.
    parvolin::test::ScriptedPrompt prompt;
    EXPECT_FALSE(convertCallToWav(dir.path() / "missing.WAV", kDavaLevel1, gain, prompt));
    EXPECT_FALSE(convertCallToWav(dir.path(), kDavaLevel1, gain, prompt));
    EXPECT_TRUE(prompt.shown.empty());
  }
  // And a later conversion of the same recording still works.
  parvolin::test::ScriptedPrompt prompt;
  EXPECT_TRUE(convertCallToWav(rec, kDavaNone, gain, prompt));
  EXPECT_EQ(readBytes(rec).size(), 44u + 5000u);
}

TEST(ReplaceFile, WritesAllPartsOrNothing) {
  TempFolder dir;
  const fs::path target = dir.path() / "list.htm";
  writeBytes(target, {1, 2, 3});
  const std::vector<std::uint8_t> a{9, 8}, b{7};
  ASSERT_WORKED(base::replaceFileContents(target, {a, b}));
  EXPECT_EQ(readBytes(target), (std::vector<std::uint8_t>{9, 8, 7}));
  EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 1);

  const fs::path inMissingFolder = dir.path() / "nope" / "x.wav";
  EXPECT_TRUE(base::replaceFileContents(inMissingFolder, {a}));
  EXPECT_FALSE(fs::exists(inMissingFolder));
}

}  // namespace
}  // namespace parvolin::codec
