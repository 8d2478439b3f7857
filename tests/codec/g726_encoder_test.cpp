#include "codec/g726_encoder.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstdint>
#include <vector>

#include "codec/lv_decoder.h"
#include "codec/speech_like_signal.h"

namespace parvolin::codec {
namespace {

// Encodes `signal` block by block into an LV file of `mode`.
std::vector<std::uint8_t> encode(AudioEncoder& encoder, const std::vector<std::int16_t>& signal) {
  std::vector<std::uint8_t> file;
  const std::size_t per = encoder.samplesPerBlock();
  for (std::size_t at = 0; at + per <= signal.size(); at += per) {
    std::array<std::uint8_t, 512> block{};
    encoder.encodeBlock(std::span(signal).subspan(at, per), block);
    file.insert(file.end(), block.begin(), block.end());
  }
  return file;
}

double snrDb(const std::vector<std::int16_t>& ref, const std::vector<std::int16_t>& got) {
  double signal = 0, noise = 0;
  for (std::size_t i = 0; i < got.size(); ++i) {
    signal += double(ref[i]) * ref[i];
    noise += (double(ref[i]) - got[i]) * (double(ref[i]) - got[i]);
  }
  return 10 * std::log10(signal / std::max(noise, 1.0));
}

struct RoundTrip {
  int bits;
  int mode;
  std::size_t perBlock;
  double floorDb;  // measured: 10.95 dB (2 bits), 14.35 dB (3 bits) on this signal
};

TEST(G726Encoder, SpeechRoundTripsAboveTheFloor) {
  const RoundTrip cases[] = {{2, kModeAdpcm16k, 2048, 9.5}, {3, kModeAdpcm24k, 1360, 13.0}};
  for (const RoundTrip& c : cases) {
    auto encoder = makeG726Encoder(c.bits);
    ASSERT_NE(encoder, nullptr);
    EXPECT_EQ(encoder->samplesPerBlock(), c.perBlock);
    const auto signal = speechLikeSignal(c.perBlock * 235, 11);  // about 60 s
    const auto file = encode(*encoder, signal);
    ASSERT_EQ(file.size(), 235u * 512u);
    DecoderState s;
    std::vector<std::int16_t> decoded(sampleCountFor(file.size(), c.mode));
    decodeLv(file, c.mode, s, decoded);
    const double snr = snrDb(signal, decoded);
    std::printf("round trip at %d bits per code: %.2f dB\n", c.bits, snr);
    EXPECT_GT(snr, c.floorDb) << c.bits << " bits";

    // A second stream after reset() gives the same codes as a fresh encoder.
    encoder->reset();
    EXPECT_EQ(encode(*encoder, signal), file);
  }
  EXPECT_EQ(makeG726Encoder(4), nullptr);
}

TEST(G726Encoder, Mode2BlocksStartWithTwoZeroBytesAndSilenceIsCodeSeven) {
  auto encoder = makeG726Encoder(3);
  const std::vector<std::int16_t> silence(1360, 0);
  std::array<std::uint8_t, 512> block{};
  block.fill(0x55);
  encoder->encodeBlock(silence, block);
  EXPECT_EQ(block[0], 0);
  EXPECT_EQ(block[1], 0);
  // Every code 7: each group is 48 one-bits.
  for (std::size_t i = 2; i < 512; ++i) ASSERT_EQ(block[i], 0xFF) << i;
}

TEST(G726Encoder, DecoderFollowsTheEncoderAcrossBlocksAndLoudness) {
  // A loud tone and a faint one in turn: the decoder must follow the adaptation both ways.
  for (int bits : {2, 3}) {
    auto encoder = makeG726Encoder(bits);
    const std::size_t per = encoder->samplesPerBlock();
    std::vector<std::int16_t> signal;
    for (std::size_t i = 0; i < per * 8; ++i) {
      const bool loud = (i / 3000) % 2 == 0;
      const double v = loud ? 24000 * std::sin(i * 0.35) : 300 * std::sin(i * 0.8);
      signal.push_back(static_cast<std::int16_t>(v));
    }
    const auto file = encode(*encoder, signal);
    const int mode = bits == 2 ? kModeAdpcm16k : kModeAdpcm24k;
    DecoderState s;
    std::vector<std::int16_t> decoded(sampleCountFor(file.size(), mode));
    decodeLv(file, mode, s, decoded);
    const double snr = snrDb(signal, decoded);
    std::printf("alternating tones at %d bits per code: %.2f dB\n", bits, snr);
    EXPECT_GT(snr, bits == 2 ? 17.0 : 21.0) << bits;
  }
}

}  // namespace
}  // namespace parvolin::codec
