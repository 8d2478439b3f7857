#include "codec/lv_decoder.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "codec/g726_block_decoder.h"

namespace parvolin::codec {

namespace {

constexpr std::size_t kMaxCodesPerBlock = kMode1WordsPerBlock * kMode1CodesPerWord;
constexpr std::size_t kSlackElements = 32768;  // the 65536 bytes beyond 2N

using Block = std::array<std::uint8_t, kAudioBlockSize>;
using Codes = std::array<std::uint8_t, kMaxCodesPerBlock>;

template <std::int16_t (*expand)(std::uint8_t)>
constexpr std::array<std::int16_t, 256> makeByteTable() {
  std::array<std::int16_t, 256> t{};
  for (std::size_t v = 0; v < 256; ++v) t[v] = expand(static_cast<std::uint8_t>(v));
  return t;
}

constexpr std::int16_t expandLog16(std::uint8_t v) {
  return static_cast<std::int16_t>(expandLogByte(v));
}

constexpr auto kLinearTable = makeByteTable<expandLinearByte>();
constexpr auto kLogTable = makeByteTable<expandLog16>();

// Mode 1: little-endian words, eight codes each, the most significant first.
void unpackMode1(const Block& block, Codes& codes) {
  for (std::size_t w = 0; w < kMode1WordsPerBlock; ++w) {
    const unsigned word = unsigned(block[2 * w]) | (unsigned(block[2 * w + 1]) << 8);
    for (std::size_t k = 0; k < kMode1CodesPerWord; ++k) {
      codes[8 * w + k] = static_cast<std::uint8_t>((word >> (14 - 2 * k)) & 3);
    }
  }
}

// Mode 2: after the two skipped bytes, groups of three little-endian words a, b, c read as one
// 48-bit value a:b:c with sixteen codes, the most significant first. Codes 5 and 10 straddle
// the word boundaries.
std::uint64_t mode2Group(const std::uint8_t* p) {
  return (std::uint64_t{p[0]} << 32) | (std::uint64_t{p[1]} << 40) | (std::uint64_t{p[2]} << 16) |
         (std::uint64_t{p[3]} << 24) | (std::uint64_t{p[4]} << 0) | (std::uint64_t{p[5]} << 8);
}

void unpackMode2(const Block& block, Codes& codes) {
  for (std::size_t g = 0; g < kMode2GroupsPerBlock; ++g) {
    const std::uint8_t* p = block.data() + kMode2SkippedBytes + kMode2GroupBytes * g;
    const std::uint64_t group = mode2Group(p);
    for (std::size_t k = 0; k < kMode2CodesPerGroup; ++k) {
      codes[16 * g + k] = static_cast<std::uint8_t>((group >> (45 - 3 * k)) & 7);
    }
  }
}

// The state is worked on in a local copy, so that the compiler knows the sample stores cannot
// change it.
template <class Rate>
void decodeCodes(DecoderState& state, const std::uint8_t* codes, std::size_t count,
                 std::int16_t* out) {
  g726::BlockDecoder<Rate> s(state);
  for (std::size_t i = 0; i < count; ++i) out[i] = s.decode(codes[i]);
  s.store(state);
}

using Decoder16k = g726::BlockDecoder<g726::Rate16k>;
using Decoder24k = g726::BlockDecoder<g726::Rate24k>;

// `v` with its bit `from` moved to bit `to` (bits shifted out are lost): one shift, whichever way.
template <class T>
[[gnu::always_inline]] inline T shiftedTo(T v, int from, int to) {
  return from >= to ? static_cast<T>(v >> (from - to)) : static_cast<T>(v << (to - from));
}

// Whole blocks decode straight from their words: no codes are stored between the two steps.
// Out of line, so that the decoder's state has the registers to itself.
[[gnu::noinline]] void decodeWholeMode1(const Block& block, DecoderState& state,
                                        std::int16_t* out) {
  Decoder16k s(state);
  for (std::size_t w = 0; w < kMode1WordsPerBlock; ++w) {
    const unsigned word = unsigned(block[2 * w]) | (unsigned(block[2 * w + 1]) << 8);
#pragma GCC unroll 8
    for (std::size_t k = 0; k < kMode1CodesPerWord; ++k) {
      *out++ =
          s.decodeShifted(shiftedTo(word, 14 - 2 * static_cast<int>(k), Decoder16k::kCodeShift));
    }
  }
  s.store(state);
}

[[gnu::noinline]] void decodeWholeMode2(const Block& block, DecoderState& state,
                                        std::int16_t* out) {
  Decoder24k s(state);
  for (std::size_t g = 0; g < kMode2GroupsPerBlock; ++g) {
    const std::uint8_t* p = block.data() + kMode2SkippedBytes + kMode2GroupBytes * g;
    const std::uint64_t group = mode2Group(p);
#pragma GCC unroll 16
    for (std::size_t k = 0; k < kMode2CodesPerGroup; ++k) {
      *out++ = s.decodeShifted(static_cast<unsigned>(
          shiftedTo(group, 45 - 3 * static_cast<int>(k), Decoder24k::kCodeShift)));
    }
  }
  s.store(state);
}

// Decodes the first `want` samples of one ADPCM block (mode 1 or 2), of which only the first
// `fileBytes` bytes came from the file (the rest of `block` is 0).
void decodeAdpcmBlock(int mode, const Block& block, std::size_t fileBytes, std::size_t want,
                      DecoderState& state, std::int16_t* out) {
  const bool whole = want == samplesPerBlock(mode);
  Codes codes;
  if (mode == kModeAdpcm16k) {
    if (whole && fileBytes == kAudioBlockSize) {
      decodeWholeMode1(block, state, out);
      return;
    }
    // Only whole words carry codes; the samples of a last half word stay 0.
    const std::size_t coded = std::min(want, (fileBytes / 2) * kMode1CodesPerWord);
    unpackMode1(block, codes);
    decodeCodes<g726::Rate16k>(state, codes.data(), coded, out);
    std::fill(out + coded, out + want, std::int16_t{0});
  } else if (whole) {
    decodeWholeMode2(block, state, out);
  } else {
    unpackMode2(block, codes);
    decodeCodes<g726::Rate24k>(state, codes.data(), want, out);
  }
}

}  // namespace

std::int16_t decodeCode16k(DecoderState& state, unsigned code) {
  g726::BlockDecoder<g726::Rate16k> s(state);
  const std::int16_t sample = s.decode(code);
  s.store(state);
  return sample;
}

std::int16_t decodeCode24k(DecoderState& state, unsigned code) {
  g726::BlockDecoder<g726::Rate24k> s(state);
  const std::int16_t sample = s.decode(code);
  s.store(state);
  return sample;
}

void resetDecoder(DecoderState& state, DavaGainState& gain) {
  state = DecoderState{};
  gain = DavaGainState{};
}

std::size_t decodeLv(std::span<const std::uint8_t> file, int mode, DecoderState& state,
                     std::span<std::int16_t> samples) {
  if (mode < kModeLinear8 || mode > kModeLog8) mode = kModeLinear8;
  const std::size_t n = static_cast<std::size_t>(
      std::min<std::uint64_t>(sampleCountFor(file.size(), mode), samples.size()));
  if (mode == kModeLinear8 || mode == kModeLog8) {
    // One sample per byte, N = L: no blocks to mind. In place, sample i (bytes 2i, 2i + 1)
    // stays below byte i + 1 of the moved file, which sits at least 65536 bytes further on.
    // Plain pointers and count in registers: through the spans, every store of a sample (which
    // may alias anything a byte pointer reaches) made the loop load them again.
    const std::int16_t* const table = (mode == kModeLog8 ? kLogTable : kLinearTable).data();
    const std::uint8_t* in = file.data();
    std::int16_t* out = samples.data();
    std::int16_t* const end = out + n;
    for (; end - out >= 4; in += 4, out += 4) {
      const std::int16_t s0 = table[in[0]], s1 = table[in[1]], s2 = table[in[2]], s3 = table[in[3]];
      out[0] = s0;
      out[1] = s1;
      out[2] = s2;
      out[3] = s3;
    }
    for (; out != end; ++in, ++out) *out = table[*in];
    return n;
  }
  const std::size_t perBlock = samplesPerBlock(mode);
  // Each block is copied out before its samples are written: decodeLvBuffer relies on it.
  std::size_t produced = 0;
  for (std::size_t offset = 0; produced < n; offset += kAudioBlockSize) {
    Block block{};
    const std::size_t fileBytes =
        offset < file.size() ? std::min(kAudioBlockSize, file.size() - offset) : 0;
    if (fileBytes > 0) std::memcpy(block.data(), file.data() + offset, fileBytes);
    const std::size_t want = std::min(perBlock, n - produced);
    decodeAdpcmBlock(mode, block, fileBytes, want, state, samples.data() + produced);
    produced += want;
  }
  return n;
}

std::uint64_t decodeBufferElementsFor(std::uint64_t fileLength, int mode) {
  return sampleCountFor(fileLength, mode) + kSlackElements;
}

// The recording is moved to the end of the buffer and decoded forward into its start. The
// samples written never reach bytes not yet read: after the file's first p bytes, at most
// 2.65625 p + 16 samples (modes 0 and 3: p; mode 1: 4 p) are written, 2 bytes each, while byte p
// sits at (size - L) + p with size >= 2N + 65536; in mode 1 8p <= 7L + 65536 + p, in mode 2
// 5.3125p + 32 <= 4.3125L + 65534 + p, and every block is copied out whole before its samples
// are stored.
std::optional<std::size_t> decodeLvBuffer(std::span<std::int16_t> buffer, std::size_t fileLength,
                                          int mode, DecoderState& state) {
  if (decodeBufferElementsFor(fileLength, mode) > buffer.size()) return std::nullopt;
  if (fileLength > buffer.size_bytes()) return std::nullopt;
  auto* bytes = reinterpret_cast<std::uint8_t*>(buffer.data());
  std::uint8_t* tail = bytes + buffer.size_bytes() - fileLength;
  std::memmove(tail, bytes, fileLength);
  return decodeLv(std::span<const std::uint8_t>(tail, fileLength), mode, state, buffer);
}

}  // namespace parvolin::codec
