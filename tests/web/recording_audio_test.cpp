#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <filesystem>
#include <string>
#include <vector>

#include "codec/g726_encoder.h"
#include "codec/lv_conversion.h"
#include "codec/speech_like_signal.h"
#include "support/test_files.h"
#include "web/recording_audio.h"

namespace parvolin::web {
namespace {

namespace fs = std::filesystem;
using test::readBytes;
using test::TempFolder;
using test::writeBytes;

std::vector<std::uint8_t> encodedBlocks(int bits, std::size_t blocks, std::uint32_t seed) {
  auto encoder = codec::makeG726Encoder(bits);
  const auto signal = codec::speechLikeSignal(encoder->samplesPerBlock() * blocks, seed);
  std::vector<std::uint8_t> file;
  for (std::size_t b = 0; b < blocks; ++b) {
    std::array<std::uint8_t, 512> block{};
    encoder->encodeBlock(
        std::span(signal).subspan(b * encoder->samplesPerBlock(), encoder->samplesPerBlock()),
        block);
    file.insert(file.end(), block.begin(), block.end());
  }
  return file;
}

// Loud and quiet stretches, so that the volume adjustment's gain moves.
std::vector<std::uint8_t> recordingBytes() {
  std::vector<std::uint8_t> bytes = encodedBlocks(3, 160, 3);
  const auto quiet = encodedBlocks(2, 160, 5);
  bytes.insert(bytes.end(), quiet.begin(), quiet.end());
  return bytes;
}

std::vector<std::uint8_t> read(RecordingAudio& audio, std::uint64_t offset, std::size_t size) {
  std::vector<std::uint8_t> out(size, 0xEE);
  out.resize(audio.readWav(offset, out));
  return out;
}

std::vector<std::uint8_t> slice(const std::vector<std::uint8_t>& all, std::uint64_t offset,
                                std::size_t size) {
  if (offset >= all.size()) return {};
  const auto end = std::min<std::uint64_t>(all.size(), offset + size);
  return {all.begin() + std::ptrdiff_t(offset), all.begin() + std::ptrdiff_t(end)};
}

// The WAV bytes are the batch conversion's, for every mode and Dava level, read in order or
// anywhere: around the header, every piece's edges, across pieces and past the end, by readers
// that start cold or after others have gone through the recording.
TEST(RecordingAudio, WavBytesAreTheConversionsAtAnyOffset) {
  TempFolder dir;
  const std::vector<std::uint8_t> speech = recordingBytes();
  const std::size_t piece = kAudioPieceSamples;
  const std::size_t lengths[] = {0,     1,     511,   512,   4097,         24671,        24672,
                                 24673, 65535, 65536, 65537, 131072 + 999, speech.size()};
  int serial = 0;
  for (const int mode : {0, 1, 2, 3}) {
    for (const std::size_t length : lengths) {
      for (const int dava : {0, 1, 2}) {
        // A name of its own for every case: a new file, whose conversion nobody has begun.
        char name[32];
        std::snprintf(name, sizeof name, "w%08Xp0.LV%d", 0x6B000000 + ++serial, mode);
        const fs::path lv = dir / name;
        writeBytes(lv, std::vector<std::uint8_t>(speech.begin(), speech.begin() + length));
        ASSERT_TRUE(
            codec::convertLvFile(lv, mode, dir / "expected.wav", codec::OutputForm::kWav8, dava)
                .ok());
        const std::vector<std::uint8_t> expected = readBytes(dir / "expected.wav");
        const std::string what = std::string(name) + ", Dava " + std::to_string(dava);

        std::string why;
        // A cold reader first reads near the end, then here and there backwards.
        auto cold = RecordingAudio::open(dir.path(), name, dava, why);
        ASSERT_TRUE(cold) << why;
        ASSERT_EQ(cold->wavSize(), expected.size()) << what;
        EXPECT_FALSE(cold->isWav());
        EXPECT_EQ(cold->mode(), mode);
        std::vector<std::uint64_t> offsets = {
            0, 1, 43, 44, 45, expected.size() - 1, expected.size(), expected.size() + 10};
        for (std::uint64_t p = 1; 44 + p * piece < expected.size() + piece; ++p) {
          for (const std::int64_t d : {-70000, -1, 0, 1}) {
            const std::int64_t at = std::int64_t(44 + p * piece) + d;
            if (at >= 0) offsets.push_back(std::uint64_t(at));
          }
        }
        std::sort(offsets.rbegin(), offsets.rend());
        for (const std::uint64_t at : offsets) {
          for (const std::size_t size : {std::size_t{1}, piece + 2}) {
            ASSERT_EQ(read(*cold, at, size), slice(expected, at, size))
                << what << " at " << at << ", " << size << " bytes";
          }
        }
        // In order, in pieces of an odd size, by another reader.
        auto sequential = RecordingAudio::open(dir.path(), name, dava, why);
        ASSERT_TRUE(sequential) << why;
        std::vector<std::uint8_t> all;
        for (std::uint64_t at = 0;; at += 7919) {
          const auto got = read(*sequential, at, 7919);
          all.insert(all.end(), got.begin(), got.end());
          if (got.size() < 7919) break;
        }
        ASSERT_EQ(all, expected) << what;
      }
    }
  }
}

TEST(RecordingAudio, RecordedBytesAndWavRecordingsAreServedAsTheyAre) {
  TempFolder dir;
  const std::vector<std::uint8_t> lv = encodedBlocks(2, 20, 7);
  writeBytes(dir / "w6B49D200p3.LV1", lv);
  std::vector<std::uint8_t> wav = lv;
  wav.resize(5000);
  writeBytes(dir / "w6B49D200p3.WAV", wav);
  std::string why;
  auto audio = RecordingAudio::open(dir.path(), "w6B49D200p3.LV1", 1, why);
  ASSERT_TRUE(audio) << why;
  EXPECT_EQ(audio->recordedSize(), lv.size());
  std::vector<std::uint8_t> out(lv.size() + 100);
  ASSERT_EQ(audio->readRecorded(0, out), lv.size());
  out.resize(lv.size());
  EXPECT_EQ(out, lv);
  std::vector<std::uint8_t> tail(10);
  EXPECT_EQ(audio->readRecorded(lv.size() - 4, tail), 4u);
  EXPECT_EQ(audio->readRecorded(lv.size(), tail), 0u);

  auto asIs = RecordingAudio::open(dir.path(), "w6B49D200p3.WAV", 2, why);
  ASSERT_TRUE(asIs) << why;
  EXPECT_TRUE(asIs->isWav());
  EXPECT_EQ(asIs->wavSize(), wav.size());
  EXPECT_EQ(read(*asIs, 0, 10000), wav);
  EXPECT_EQ(read(*asIs, 4990, 100), slice(wav, 4990, 100));
}

TEST(RecordingAudio, OnlyRecordingsInTheFolderItselfAreOpened) {
  TempFolder dir;
  TempFolder outside;
  writeBytes(outside / "w6B49D200p3.LV3", std::vector<std::uint8_t>(512, 0x55));
  writeBytes(dir / "w6B49D200p0.LV3", std::vector<std::uint8_t>(512, 0x55));
  writeBytes(dir / "list.htm", std::vector<std::uint8_t>(100, 'x'));
  fs::create_symlink(outside / "w6B49D200p3.LV3", dir / "w6B49D200p1.LV3");
  fs::create_symlink("w6B49D200p0.LV3", dir / "w6B49D200p2.LV3");
  fs::create_directory(dir / "w6B49D200p4.LV3");
  ASSERT_EQ(::mkfifo((dir / "w6B49D200p5.LV3").c_str(), 0600), 0);
  const fs::path sub = dir / "sub";
  fs::create_directory(sub);
  writeBytes(sub / "w6B49D200p6.LV3", std::vector<std::uint8_t>(512, 0x55));

  const struct {
    std::string name;
    const char* why;
  } refused[] = {
      {"../" + outside.path().filename().string() + "/w6B49D200p3.LV3", "not the name"},
      {(outside / "w6B49D200p3.LV3").string(), "not the name"},
      {"sub/w6B49D200p6.LV3", "not the name"},
      {std::string("w6B49D200p0.LV3\0", 16), "not the name"},
      {std::string("w6B49D2\0p0.LV3", 14), "not the name"},
      {"list.htm", "not the name"},
      {"w6b49d200p0.LV3", "not the name"},
      {"", "not the name"},
      {"w6B49D200p1.LV3", "symbolic link"},  // to a recording outside
      {"w6B49D200p2.LV3", "symbolic link"},  // even to one inside
      {"w6B49D200p4.LV3", "not a regular file"},
      {"w6B49D200p5.LV3", "not a regular file"},  // a pipe: never waited on
      {"w6B49D200p7.LV3", "No such file"},
  };
  for (const auto& c : refused) {
    std::string why;
    EXPECT_FALSE(RecordingAudio::open(dir.path(), c.name, 0, why)) << c.name;
    EXPECT_NE(why.find(c.why), std::string::npos) << c.name << ": " << why;
  }
  std::string why;
  EXPECT_TRUE(RecordingAudio::open(dir.path(), "w6B49D200p0.LV3", 0, why)) << why;
  EXPECT_FALSE(RecordingAudio::open(dir / "missing", "w6B49D200p0.LV3", 0, why));
  EXPECT_NE(why.find("folder"), std::string::npos) << why;
}

}  // namespace
}  // namespace parvolin::web
