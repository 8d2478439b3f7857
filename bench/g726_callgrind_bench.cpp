// Decodes each code stream exactly once with each decoder, every run in a function of its own,
// for counting instructions per sample under valgrind:
//   valgrind --tool=callgrind --callgrind-out-file=cg.out build/bench/g726_callgrind_bench [SET]
//   callgrind_annotate --inclusive=yes cg.out | grep run
// SET is one of 16k-random, 16k-speech, 24k-random, 24k-speech, bytes (all when absent). The
// program prints the sample count of each run to divide by. "bytes" decodes 4 MiB of random
// bytes in modes 0 and 3 and runs a plain 256-entry table loop over them, their floor.
// Each ADPCM set runs our decoding (the block decoder) and the reference step side by side.
// For one hour of speech-like codes, write the files first (natively: the encoder is slow under
// valgrind), then count on them:
//   build/bench/g726_callgrind_bench --write-hour /tmp/hour     (/tmp/hour.LV1, /tmp/hour.LV2)
//   valgrind --tool=callgrind ... build/bench/g726_callgrind_bench /tmp/hour.LV1

#include <array>
#include <cstdio>
#include <string>
#include <vector>

#include "g726_streams.h"

namespace parvolin::bench {
namespace {

constexpr std::size_t kBlocks = 200;

[[gnu::noinline]] std::size_t runOurs(const CodeStream& s, std::vector<std::int16_t>& out) {
  codec::DecoderState state;
  return codec::decodeLv(s.lv, lvModeFor(s.bits), state, out);
}

// The reference step of the codec's core, one code at a time over the unpacked codes: what the
// decoder ran before its block form, and what the tests check the block form against.
[[gnu::noinline]] std::size_t runReference(const CodeStream& s, std::vector<std::int16_t>& out) {
  return decodeReference(s, out.data());
}

#ifdef PARVOLIN_HAVE_LIBAVCODEC
[[gnu::noinline]] std::size_t runLibavcodec(AvG726& dec, const std::vector<std::uint8_t>& packed,
                                            std::vector<std::int16_t>& out) {
  return dec.decode(packed, out.data());
}
#endif

#ifdef PARVOLIN_HAVE_SPANDSP
[[gnu::noinline]] std::size_t runSpandsp(SpanG726& dec, const CodeStream& s,
                                         std::vector<std::int16_t>& out) {
  return dec.decode(s.codes, out.data());
}
#endif

[[gnu::noinline]] std::size_t runOursBytes(const std::vector<std::uint8_t>& bytes, int mode,
                                           std::vector<std::int16_t>& out) {
  codec::DecoderState state;
  return codec::decodeLv(bytes, mode, state, out);
}

[[gnu::noinline]] std::size_t runTableLoop(const std::array<std::int16_t, 256>& table,
                                           const std::vector<std::uint8_t>& bytes,
                                           std::vector<std::int16_t>& out) {
  for (std::size_t i = 0; i < bytes.size(); ++i) out[i] = table[bytes[i]];
  return bytes.size();
}

void runBytes() {
  std::vector<std::uint8_t> bytes(std::size_t{4} << 20);
  std::uint32_t x = 1;
  for (std::uint8_t& b : bytes) {
    x = x * 1664525u + 1013904223u;
    b = static_cast<std::uint8_t>(x >> 24);
  }
  std::vector<std::int16_t> out(bytes.size());
  std::array<std::int16_t, 256> table{};
  for (int v = 0; v < 256; ++v)
    table[v] = static_cast<std::int16_t>(codec::expandLogByte(static_cast<std::uint8_t>(v)));
  std::printf("bytes: %zu samples (ours, mode 0)", runOursBytes(bytes, codec::kModeLinear8, out));
  std::printf(", %zu (ours, mode 3)", runOursBytes(bytes, codec::kModeLog8, out));
  std::printf(", %zu (table loop)\n", runTableLoop(table, bytes, out));
}

void runAll(const char* name, int bits, CodeSet set) {
  const CodeStream s = makeStream(bits, set, kBlocks);
  std::vector<std::int16_t> out(s.codes.size() + 4096);
  std::printf("%s: %zu samples (ours)", name, runOurs(s, out));
  std::printf(", %zu (reference step)", runReference(s, out));
#ifdef PARVOLIN_HAVE_LIBAVCODEC
  AvG726 av(bits);
  const auto packed = packMsbFirst(s.codes, bits);
  std::printf(", %zu (libavcodec)", runLibavcodec(av, packed, out));
#endif
#ifdef PARVOLIN_HAVE_SPANDSP
  SpanG726 sp(bits);
  std::printf(", %zu (spandsp)", runSpandsp(sp, s, out));
#endif
  std::printf("\n");
}

constexpr std::size_t kHourSamples = 8000 * 3600;

int writeHour(const std::string& prefix) {
  for (int bits : {2, 3}) {
    const std::size_t per = bits == 2 ? 2048 : 1360;
    const CodeStream s = makeStream(bits, CodeSet::kSpeech, (kHourSamples + per - 1) / per);
    const std::string path = prefix + (bits == 2 ? ".LV1" : ".LV2");
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (f == nullptr || std::fwrite(s.lv.data(), 1, s.lv.size(), f) != s.lv.size()) return 1;
    std::fclose(f);
    std::printf("%s: %zu samples\n", path.c_str(), s.codes.size());
  }
  return 0;
}

// Decodes a file written by --write-hour (its mode is the last character of its name).
int runFile(const std::string& path) {
  const int bits = path.back() == '1' ? 2 : 3;
  CodeStream s{bits, {}, {}};
  std::FILE* f = std::fopen(path.c_str(), "rb");
  if (f == nullptr) return 1;
  std::uint8_t chunk[65536];
  for (std::size_t n; (n = std::fread(chunk, 1, sizeof chunk, f)) > 0;) {
    s.lv.insert(s.lv.end(), chunk, chunk + n);
  }
  std::fclose(f);
  s.codes = codesOf(s.lv, bits);
  std::vector<std::int16_t> out(s.codes.size() + 4096);
  std::printf("%s: %zu samples (ours)", path.c_str(), runOurs(s, out));
  std::printf(", %zu (reference step)\n", runReference(s, out));
  return 0;
}

}  // namespace
}  // namespace parvolin::bench

int main(int argc, char** argv) {
  using parvolin::bench::CodeSet;
  if (argc == 3 && std::string(argv[1]) == "--write-hour") {
    return parvolin::bench::writeHour(argv[2]);
  }
  if (argc == 2 && std::string(argv[1]).find(".LV") != std::string::npos) {
    return parvolin::bench::runFile(argv[1]);
  }
  const std::string only = argc > 1 ? argv[1] : "";
  auto wanted = [&](const char* set) { return only.empty() || only == set; };
  if (wanted("16k-random")) parvolin::bench::runAll("16k random", 2, CodeSet::kRandom);
  if (wanted("16k-speech")) parvolin::bench::runAll("16k speech", 2, CodeSet::kSpeech);
  if (wanted("24k-random")) parvolin::bench::runAll("24k random", 3, CodeSet::kRandom);
  if (wanted("24k-speech")) parvolin::bench::runAll("24k speech", 3, CodeSet::kSpeech);
  if (wanted("bytes")) parvolin::bench::runBytes();
  return 0;
}
