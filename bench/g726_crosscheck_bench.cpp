// Cross-check of our G.726 variant against two independent decoders of the standard
// (libavcodec, spandsp) on the same code streams: the SNR between the decoded signals. At
// 16 kbit/s the variant stays close to the standard; at 24 kbit/s it parts further, because it
// counts a negative zero difference (code 7, common in quiet speech) as positive in the zero
// predictor's update. The variant is kept as it is: it is what the recordings were made for.

#include <cstdio>
#include <string>
#include <vector>

#include "g726_standard_history.h"
#include "g726_streams.h"

namespace parvolin::bench {
namespace {

void report(const char* what, int bits, CodeSet set) {
  const CodeStream s = makeStream(bits, set, 2000);  // 272 s at 24k, 512 s at 16k
  const auto ours = decodeOurs(s);
  std::printf("%2dk %-7s %8zu samples:", bits == 2 ? 16 : 24, what, ours.size());
  // Our core with the standard's histories in place of the variant's.
  std::vector<std::int16_t> standard;
  codec::g726::Working<StandardHistory> st(StandardHistory::resetState());
  for (std::uint8_t c : s.codes) {
    standard.push_back(bits == 2 ? codec::g726::decodeCode<codec::g726::Rate16k>(st, c)
                                 : codec::g726::decodeCode<codec::g726::Rate24k>(st, c));
  }
  std::printf("  ours~standard-form %6.2f dB", snrDb(standard, ours));
#ifdef PARVOLIN_HAVE_LIBAVCODEC
  std::vector<std::int16_t> av(s.codes.size() + 4096);
  AvG726 avDec(bits);
  const std::size_t nAv = avDec.ok() ? avDec.decode(packMsbFirst(s.codes, bits), av.data()) : 0;
  std::printf("  ours~libavcodec %6.2f dB", snrDb(av, ours));
#endif
#ifdef PARVOLIN_HAVE_SPANDSP
  std::vector<std::int16_t> sp(s.codes.size());
  SpanG726 spDec(bits);
  spDec.decode(s.codes, sp.data());
  std::printf("  ours~spandsp %6.2f dB", snrDb(sp, ours));
  std::size_t diff = 0;
  for (std::size_t i = 0; i < sp.size(); ++i) diff += sp[i] != standard[i];
  std::printf("  standard-form vs spandsp: %zu samples differ", diff);
#endif
#if defined(PARVOLIN_HAVE_LIBAVCODEC) && defined(PARVOLIN_HAVE_SPANDSP)
  std::printf("  libavcodec~spandsp %6.2f dB (%zu samples)", snrDb(sp, av), nAv);
#endif
  std::printf("\n");
}

}  // namespace
}  // namespace parvolin::bench

// Writes one hour of speech-like 24 kbit/s codes twice: PREFIX.LV2 as a unit records it and
// PREFIX.g726 as a raw MSB-first G.726 stream (for ffmpeg's "g726" input). Used by
// bench/convert_vs_ffmpeg.sh.
int writeHour(const std::string& prefix) {
  using namespace parvolin::bench;
  constexpr std::size_t kHourBlocks = (8000 * 3600 + 1359) / 1360;
  const CodeStream s = makeStream(3, CodeSet::kSpeech, kHourBlocks);
  const auto packed = packMsbFirst(s.codes, 3);
  std::FILE* lv = std::fopen((prefix + ".LV2").c_str(), "wb");
  std::FILE* raw = std::fopen((prefix + ".g726").c_str(), "wb");
  if (!lv || !raw) return 1;
  std::fwrite(s.lv.data(), 1, s.lv.size(), lv);
  std::fwrite(packed.data(), 1, packed.size(), raw);
  std::fclose(lv);
  std::fclose(raw);
  std::printf("%zu samples in %zu LV2 bytes and %zu G.726 bytes\n", s.codes.size(), s.lv.size(),
              packed.size());
  return 0;
}

int main(int argc, char** argv) {
  using parvolin::bench::CodeSet;
  if (argc == 3 && std::string(argv[1]) == "--write-hour") return writeHour(argv[2]);
#if !defined(PARVOLIN_HAVE_LIBAVCODEC) && !defined(PARVOLIN_HAVE_SPANDSP)
  std::printf("built without libavcodec and spandsp: nothing to compare with\n");
#endif
  parvolin::bench::report("speech", 2, CodeSet::kSpeech);
  parvolin::bench::report("random", 2, CodeSet::kRandom);
  parvolin::bench::report("speech", 3, CodeSet::kSpeech);
  parvolin::bench::report("random", 3, CodeSet::kRandom);
  return 0;
}
