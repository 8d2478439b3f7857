#include "codec/lv_conversion.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <vector>

#include "base/file_io.h"
#include "codec/dava.h"
#include "codec/g726_encoder.h"
#include "codec/lv_decoder.h"
#include "codec/speech_like_signal.h"
#include "codec/wav_header.h"
#include "support/test_files.h"

namespace parvolin::codec {
namespace {

namespace fs = std::filesystem;
using test::readBytes;
using test::TempFolder;
using test::writeBytes;

std::vector<std::uint8_t> encodedBlocks(int bits, std::size_t blocks) {
  auto encoder = makeG726Encoder(bits);
  const auto signal = speechLikeSignal(encoder->samplesPerBlock() * blocks, 3);
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

TEST(LvModeOf, ExtensionInAnyCase) {
  EXPECT_EQ(lvModeOf("w499602D2pB.LV3"), 3);
  EXPECT_EQ(lvModeOf("dir.x/a.lv0"), 0);
  EXPECT_EQ(lvModeOf("a.Lv2"), 2);
  EXPECT_EQ(lvModeOf("a.LV4"), std::nullopt);
  EXPECT_EQ(lvModeOf("a.WAV"), std::nullopt);
  EXPECT_EQ(lvModeOf("LV1"), std::nullopt);
  EXPECT_EQ(lvModeOf("a.LV12"), std::nullopt);
}

TEST(ConvertLvFile, TenBlockMode2RecordingBecomesA13600SampleWav) {
  TempFolder dir;
  const fs::path lv = dir.path() / "w00000010p1.LV2";
  const auto file = encodedBlocks(3, 10);
  writeBytes(lv, file);

  // The same steps by hand: reset, decode, Dava whatever the count, toUnsigned8, header.
  DecoderState s;
  DavaGainState g;
  resetDecoder(s, g);
  std::vector<std::int16_t> samples(13600);
  decodeLv(file, kModeAdpcm24k, s, samples);
  applyDava(samples, kDavaLevel1, g);
  const auto head = WavHeader::forDataBytes(13600)->encode();
  std::vector<std::uint8_t> expected(head.begin(), head.end());
  for (std::int16_t v : samples) expected.push_back(toUnsigned8(v));

  const fs::path wav = dir.path() / "out.wav";
  const ConversionResult r = convertLvFile(lv, kModeAdpcm24k, wav, OutputForm::kWav8, kDavaLevel1);
  ASSERT_TRUE(r.ok()) << describe(r);
  EXPECT_EQ(r.samples, 13600u);
  const auto bytes = readBytes(wav);
  EXPECT_EQ(bytes.size(), 44u + 13600u);
  EXPECT_EQ(bytes, expected);
}

TEST(ConvertLvFile, Raw16IsTheDecodedSamplesLittleEndian) {
  TempFolder dir;
  const fs::path lv = dir.path() / "a.LV1";
  const auto file = encodedBlocks(2, 3);
  writeBytes(lv, file);
  DecoderState s;
  std::vector<std::int16_t> samples(3 * 2048);
  decodeLv(file, kModeAdpcm16k, s, samples);

  const fs::path raw = dir.path() / "a.s16";
  ASSERT_TRUE(convertLvFile(lv, kModeAdpcm16k, raw, OutputForm::kRaw16Le, kDavaNone).ok());
  const auto bytes = readBytes(raw);
  ASSERT_EQ(bytes.size(), 2 * samples.size());
  for (std::size_t i = 0; i < samples.size(); ++i) {
    ASSERT_EQ(static_cast<std::int16_t>(bytes[2 * i] | (bytes[2 * i + 1] << 8)), samples[i]) << i;
  }
}

TEST(ConvertLvFile, FailuresNameTheirCause) {
  TempFolder dir;
  const fs::path lv = dir.path() / "a.LV3";
  writeBytes(lv, std::vector<std::uint8_t>(1000, 0x42));
  const fs::path out = dir.path() / "a.wav";

  auto r = convertLvFile(dir.path() / "missing.LV3", 3, out, OutputForm::kWav8, 0);
  EXPECT_EQ(r.status, ConversionStatus::kCannotRead);
  EXPECT_NE(describe(r).find("No such file"), std::string::npos) << describe(r);

  r = convertLvFile(lv, 3, out, OutputForm::kWav8, 0, 1000);
  EXPECT_EQ(r.status, ConversionStatus::kNoMemory);

  r = convertLvFile(lv, 3, dir.path() / "no" / "a.wav", OutputForm::kWav8, 0);
  EXPECT_EQ(r.status, ConversionStatus::kCannotWrite);
  EXPECT_FALSE(fs::exists(out));

  writeBytes(out, {1});
  ASSERT_TRUE(convertLvFile(lv, 3, out, OutputForm::kWav8, 0).ok());
  EXPECT_EQ(readBytes(out).size(), 1044u);
}

// The streaming conversion writes what the whole-file one writes, where its pieces, the held back
// Dava samples and the file's end fall in every way: lengths around a piece and a block, every
// mode, Dava level and form.
TEST(StreamLvFile, SameBytesAsTheWholeFileConversion) {
  TempFolder dir;
  std::vector<std::uint8_t> speech = encodedBlocks(3, 300);
  const auto quiet = encodedBlocks(2, 300);  // another stream, so that Dava's gains change
  speech.insert(speech.end(), quiet.begin(), quiet.end());
  ASSERT_GT(speech.size(), 2 * kStreamPieceBytes + 1000);
  const std::size_t lengths[] = {0,
                                 1,
                                 2,
                                 31,
                                 32,
                                 511,
                                 512,
                                 513,
                                 1000,
                                 4097,
                                 8191,
                                 20000,
                                 kStreamPieceBytes - 1,
                                 kStreamPieceBytes,
                                 kStreamPieceBytes + 1,
                                 2 * kStreamPieceBytes + 777};
  for (const int mode : {0, 1, 2, 3}) {
    for (const std::size_t length : lengths) {
      const fs::path lv = dir.path() / ("r.LV" + std::to_string(mode));
      writeBytes(lv, std::vector<std::uint8_t>(speech.begin(), speech.begin() + length));
      for (const int dava : {0, 1, 2}) {
        for (const OutputForm form : {OutputForm::kWav8, OutputForm::kRaw16Le}) {
          if (form == OutputForm::kRaw16Le && dava != 0) continue;
          const auto whole = convertLvFile(lv, mode, dir.path() / "whole", form, dava);
          const auto streamed = streamLvFile(lv, mode, dir.path() / "streamed", form, dava);
          ASSERT_TRUE(whole.ok() && streamed.ok()) << describe(streamed);
          EXPECT_EQ(streamed.samples, whole.samples);
          ASSERT_EQ(readBytes(dir.path() / "streamed"), readBytes(dir.path() / "whole"))
              << "mode " << mode << ", " << length << " bytes, Dava " << dava << ", form "
              << int(form);
        }
      }
    }
  }
  EXPECT_FALSE(fs::exists(base::temporaryPathFor(dir.path() / "streamed")));
}

TEST(StreamLvFile, FailuresNameTheirCauseAndLeaveNothingBehind) {
  TempFolder dir;
  const fs::path lv = dir.path() / "a.LV1";
  writeBytes(lv, std::vector<std::uint8_t>(1000, 0x42));
  const fs::path out = dir.path() / "a.wav";

  auto r = streamLvFile(dir.path() / "missing.LV1", 1, out, OutputForm::kWav8, 0);
  EXPECT_EQ(r.status, ConversionStatus::kCannotRead);
  EXPECT_NE(describe(r).find("No such file"), std::string::npos) << describe(r);
  r = streamLvFile(dir.path(), 1, out, OutputForm::kWav8, 0);
  EXPECT_EQ(r.status, ConversionStatus::kCannotRead);

  r = streamLvFile(lv, 1, dir.path() / "no" / "a.wav", OutputForm::kWav8, 0);
  EXPECT_EQ(r.status, ConversionStatus::kCannotWrite);

  // An existing output is replaced only by a whole new one.
  writeBytes(out, {1});
  ASSERT_TRUE(streamLvFile(lv, 1, out, OutputForm::kWav8, 0).ok());
  EXPECT_EQ(readBytes(out).size(), 44u + 4000u);
  EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 2);
}

}  // namespace
}  // namespace parvolin::codec
