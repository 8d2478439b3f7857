// The decoder's fast forms against its plain ones: the zero predictor in SSE2 registers against
// the portable arrays, and whole-file decoding against fixed checksums taken from the
// straightforward first implementation. A speed change that alters one sample fails here.

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "codec/g726_core.h"
#include "codec/g726_encoder.h"
#include "codec/lv_decoder.h"
#include "codec/speech_like_signal.h"

namespace parvolin::codec {
namespace {

std::vector<std::uint8_t> pseudoBytes(std::size_t n, std::uint32_t seed) {
  std::vector<std::uint8_t> v(n);
  for (auto& b : v) {
    seed = seed * 1664525u + 1013904223u;
    b = static_cast<std::uint8_t>(seed >> 24);
  }
  return v;
}

// Codes of a speech-like signal, one per element, from the encoder of `bits`.
std::vector<std::uint8_t> speechCodes(int bits, std::size_t blocks) {
  auto encoder = makeG726Encoder(bits);
  const std::size_t per = encoder->samplesPerBlock();
  const auto signal = speechLikeSignal(per * blocks, 9);
  std::vector<std::uint8_t> file;
  for (std::size_t b = 0; b < blocks; ++b) {
    std::array<std::uint8_t, 512> block{};
    encoder->encodeBlock(std::span(signal).subspan(b * per, per), block);
    file.insert(file.end(), block.begin(), block.end());
  }
  return file;
}

template <class History, class Rate>
std::vector<std::int16_t> decodeWith(const std::vector<std::uint8_t>& codes) {
  DecoderState state;
  g726::Working<History> s(state);
  std::vector<std::int16_t> out;
  for (std::uint8_t c : codes) out.push_back(g726::decodeCode<Rate>(s, c));
  return out;
}

TEST(G726Forms, VectorAndPortableZeroPredictorsAgree) {
  for (const auto& codes : {pseudoBytes(200000, 1), speechCodes(3, 100), speechCodes(2, 60)}) {
    EXPECT_EQ((decodeWith<g726::LinearHistory, g726::Rate16k>(codes)),
              (decodeWith<g726::PortableLinearHistory, g726::Rate16k>(codes)));
    EXPECT_EQ((decodeWith<g726::LinearHistory, g726::Rate24k>(codes)),
              (decodeWith<g726::PortableLinearHistory, g726::Rate24k>(codes)));
  }
}

std::uint64_t fnv1a(const std::vector<std::int16_t>& samples) {
  std::uint64_t h = 1469598103934665603ull;
  for (std::int16_t s : samples) {
    for (int k = 0; k < 2; ++k) {
      h ^= (static_cast<std::uint16_t>(s) >> (8 * k)) & 0xFF;
      h *= 1099511628211ull;
    }
  }
  return h;
}

TEST(G726Forms, WholeFilesDecodeToTheirKnownSamples) {
  struct Case {
    const char* name;
    std::vector<std::uint8_t> file;
    int mode;
    std::uint64_t checksum;
  };
  const Case cases[] = {
      {"random mode 1", pseudoBytes(64 * 512 + 3, 17), kModeAdpcm16k, 0x6610e70377ea0298ull},
      {"random mode 2", pseudoBytes(64 * 512 + 3, 18), kModeAdpcm24k, 0x2aa73d115a7d0859ull},
      {"speech mode 1", speechCodes(2, 40), kModeAdpcm16k, 0x5e138d93e126ce86ull},
      {"speech mode 2", speechCodes(3, 60), kModeAdpcm24k, 0xdd102aaa765b2df3ull},
  };
  for (const Case& c : cases) {
    DecoderState s;
    std::vector<std::int16_t> out(sampleCountFor(c.file.size(), c.mode));
    decodeLv(c.file, c.mode, s, out);
    EXPECT_EQ(fnv1a(out), c.checksum) << c.name;
  }
}

}  // namespace
}  // namespace parvolin::codec
