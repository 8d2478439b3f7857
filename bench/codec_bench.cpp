// Decoding speed in samples per second: our LV decoding per audio mode, the reference step of
// the codec's core one code at a time (what decoding ran before the block decoder), libavcodec's
// and spandsp's G.726 decoders on the same code streams (random and speech-like codes), and modes 0
// and 3 against a plain table-lookup loop over the same bytes.

#include <benchmark/benchmark.h>

#include <array>
#include <cstdint>
#include <vector>

#include "g726_streams.h"

namespace parvolin::bench {
namespace {

constexpr std::size_t kBlocks = 200;  // 409,600 samples at 16 kbit/s, 272,000 at 24 kbit/s

const CodeStream& stream(int bits, CodeSet set) {
  static const std::array<CodeStream, 4> streams{
      makeStream(2, CodeSet::kRandom, kBlocks), makeStream(2, CodeSet::kSpeech, kBlocks),
      makeStream(3, CodeSet::kRandom, kBlocks), makeStream(3, CodeSet::kSpeech, kBlocks)};
  return streams[(bits == 3 ? 2 : 0) + (set == CodeSet::kSpeech ? 1 : 0)];
}

void BM_OursAdpcm(benchmark::State& state, int bits, CodeSet set) {
  const CodeStream& s = stream(bits, set);
  std::vector<std::int16_t> out(s.codes.size());
  for (auto _ : state) {
    codec::DecoderState d;
    codec::decodeLv(s.lv, lvModeFor(bits), d, out);
    benchmark::DoNotOptimize(out.data());
  }
  state.SetItemsProcessed(state.iterations() * std::int64_t(out.size()));
}

void BM_ReferenceStep(benchmark::State& state, int bits, CodeSet set) {
  const CodeStream& s = stream(bits, set);
  std::vector<std::int16_t> out(s.codes.size());
  for (auto _ : state) {
    decodeReference(s, out.data());
    benchmark::DoNotOptimize(out.data());
  }
  state.SetItemsProcessed(state.iterations() * std::int64_t(out.size()));
}

#ifdef PARVOLIN_HAVE_LIBAVCODEC
void BM_Libavcodec(benchmark::State& state, int bits, CodeSet set) {
  const CodeStream& s = stream(bits, set);
  const auto packed = packMsbFirst(s.codes, bits);
  AvG726 dec(bits);
  if (!dec.ok()) {
    state.SkipWithError("libavcodec has no G.726 decoder");
    return;
  }
  std::vector<std::int16_t> out(s.codes.size() + 4096);
  std::size_t n = 0;
  for (auto _ : state) {
    dec.reset();
    n = dec.decode(packed, out.data());
    benchmark::DoNotOptimize(out.data());
  }
  state.SetItemsProcessed(state.iterations() * std::int64_t(n));
}
#endif

#ifdef PARVOLIN_HAVE_SPANDSP
void BM_Spandsp(benchmark::State& state, int bits, CodeSet set) {
  const CodeStream& s = stream(bits, set);
  SpanG726 dec(bits);
  std::vector<std::int16_t> out(s.codes.size());
  std::size_t n = 0;
  for (auto _ : state) {
    dec.reset();
    n = dec.decode(s.codes, out.data());
    benchmark::DoNotOptimize(out.data());
  }
  state.SetItemsProcessed(state.iterations() * std::int64_t(n));
}
#endif

std::vector<std::uint8_t> bytesForByteModes() {
  std::vector<std::uint8_t> v(kBlocks * 512);
  std::uint32_t seed = 5;
  for (auto& b : v) {
    seed = seed * 1664525u + 1013904223u;
    b = static_cast<std::uint8_t>(seed >> 24);
  }
  return v;
}

void BM_OursByteMode(benchmark::State& state, int mode) {
  const auto bytes = bytesForByteModes();
  std::vector<std::int16_t> out(bytes.size());
  for (auto _ : state) {
    codec::DecoderState d;
    codec::decodeLv(bytes, mode, d, out);
    benchmark::DoNotOptimize(out.data());
  }
  state.SetItemsProcessed(state.iterations() * std::int64_t(out.size()));
}

// The floor for modes 0 and 3: one table lookup per byte, nothing else.
void BM_PlainTableLookup(benchmark::State& state, int mode) {
  const auto bytes = bytesForByteModes();
  std::array<std::int16_t, 256> table{};
  for (int v = 0; v < 256; ++v) {
    table[v] = mode == 3 ? static_cast<std::int16_t>(codec::expandLogByte(std::uint8_t(v)))
                         : codec::expandLinearByte(std::uint8_t(v));
  }
  std::vector<std::int16_t> out(bytes.size());
  for (auto _ : state) {
    for (std::size_t i = 0; i < bytes.size(); ++i) out[i] = table[bytes[i]];
    benchmark::DoNotOptimize(out.data());
  }
  state.SetItemsProcessed(state.iterations() * std::int64_t(out.size()));
}

BENCHMARK_CAPTURE(BM_OursAdpcm, mode1_16k_random, 2, CodeSet::kRandom);
BENCHMARK_CAPTURE(BM_ReferenceStep, mode1_16k_random, 2, CodeSet::kRandom);
BENCHMARK_CAPTURE(BM_OursAdpcm, mode1_16k_speech, 2, CodeSet::kSpeech);
BENCHMARK_CAPTURE(BM_ReferenceStep, mode1_16k_speech, 2, CodeSet::kSpeech);
BENCHMARK_CAPTURE(BM_OursAdpcm, mode2_24k_random, 3, CodeSet::kRandom);
BENCHMARK_CAPTURE(BM_ReferenceStep, mode2_24k_random, 3, CodeSet::kRandom);
BENCHMARK_CAPTURE(BM_OursAdpcm, mode2_24k_speech, 3, CodeSet::kSpeech);
BENCHMARK_CAPTURE(BM_ReferenceStep, mode2_24k_speech, 3, CodeSet::kSpeech);
#ifdef PARVOLIN_HAVE_LIBAVCODEC
BENCHMARK_CAPTURE(BM_Libavcodec, g726_16k_random, 2, CodeSet::kRandom);
BENCHMARK_CAPTURE(BM_Libavcodec, g726_16k_speech, 2, CodeSet::kSpeech);
BENCHMARK_CAPTURE(BM_Libavcodec, g726_24k_random, 3, CodeSet::kRandom);
BENCHMARK_CAPTURE(BM_Libavcodec, g726_24k_speech, 3, CodeSet::kSpeech);
#endif
#ifdef PARVOLIN_HAVE_SPANDSP
BENCHMARK_CAPTURE(BM_Spandsp, g726_16k_random, 2, CodeSet::kRandom);
BENCHMARK_CAPTURE(BM_Spandsp, g726_16k_speech, 2, CodeSet::kSpeech);
BENCHMARK_CAPTURE(BM_Spandsp, g726_24k_random, 3, CodeSet::kRandom);
BENCHMARK_CAPTURE(BM_Spandsp, g726_24k_speech, 3, CodeSet::kSpeech);
#endif
BENCHMARK_CAPTURE(BM_OursByteMode, mode0, 0);
BENCHMARK_CAPTURE(BM_PlainTableLookup, mode0, 0);
BENCHMARK_CAPTURE(BM_OursByteMode, mode3, 3);
BENCHMARK_CAPTURE(BM_PlainTableLookup, mode3, 3);

}  // namespace
}  // namespace parvolin::bench

BENCHMARK_MAIN();
