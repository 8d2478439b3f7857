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

template <class History>
std::vector<std::int16_t> decodeWithCore(const CodeStream& s) {
  std::vector<std::int16_t> out;
  codec::g726::Working<History> st(History::resetState());
  for (std::uint8_t c : s.codes) {
    out.push_back(s.bits == 2 ? codec::g726::decodeCode<codec::g726::Rate16k>(st, c)
                              : codec::g726::decodeCode<codec::g726::Rate24k>(st, c));
  }
  return out;
}

// Codes of the speech-like signal from an encoder that keeps the standard's state (our
// quantizer and update with the standard's histories), packed as an LV file too.
CodeStream standardEncoderStream(int bits, std::size_t blocks) {
  const std::size_t per = bits == 2 ? 2048 : 1360;
  const auto signal = codec::speechLikeSignal(per * blocks, 21);
  CodeStream s{bits, {}, {}};
  codec::g726::Working<StandardHistory> st(StandardHistory::resetState());
  for (std::int16_t x : signal) {
    const auto p = codec::g726::predict(st);
    unsigned code = 0;
    if (bits == 2) {
      code = codec::g726::quantize<codec::g726::Rate16k>((x >> 2) - p.se, p.y);
      codec::g726::reconstructAndUpdate<codec::g726::Rate16k>(st, p, code);
    } else {
      code = codec::g726::quantize<codec::g726::Rate24k>((x >> 2) - p.se, p.y);
      codec::g726::reconstructAndUpdate<codec::g726::Rate24k>(st, p, code);
    }
    s.codes.push_back(static_cast<std::uint8_t>(code));
  }
  for (std::size_t b = 0; b < blocks; ++b) {
    const std::uint8_t* c = s.codes.data() + b * per;
    if (bits == 2) {
      for (int w = 0; w < 256; ++w) {
        unsigned word = 0;
        for (int k = 0; k < 8; ++k) word = (word << 2) | c[8 * w + k];
        s.lv.push_back(static_cast<std::uint8_t>(word));
        s.lv.push_back(static_cast<std::uint8_t>(word >> 8));
      }
    } else {
      s.lv.insert(s.lv.end(), {0, 0});
      for (int g = 0; g < 85; ++g) {
        std::uint64_t group = 0;
        for (int k = 0; k < 16; ++k) group = (group << 3) | c[16 * g + k];
        for (int w = 2; w >= 0; --w) {
          s.lv.push_back(static_cast<std::uint8_t>(group >> (16 * w)));
          s.lv.push_back(static_cast<std::uint8_t>(group >> (16 * w + 8)));
        }
      }
    }
  }
  return s;
}

void report(const char* what, const CodeStream& s) {
  const auto ours = decodeOurs(s);
  const auto standard = decodeWithCore<StandardHistory>(s);
  const auto positiveZero = decodeWithCore<StandardHistoryPositiveZero>(s);
  std::printf(
      "%2dk %-16s %8zu samples: ours~standard-form %6.2f dB, "
      "standard-form with positive zero~standard-form %6.2f dB",
      s.bits == 2 ? 16 : 24, what, ours.size(), snrDb(standard, ours),
      snrDb(standard, positiveZero));
#ifdef PARVOLIN_HAVE_LIBAVCODEC
  std::vector<std::int16_t> av(s.codes.size() + 4096);
  AvG726 avDec(s.bits);
  if (avDec.ok()) avDec.decode(packMsbFirst(s.codes, s.bits), av.data());
  std::printf(", ours~libavcodec %6.2f dB", snrDb(av, ours));
#endif
#ifdef PARVOLIN_HAVE_SPANDSP
  std::vector<std::int16_t> sp(s.codes.size());
  SpanG726 spDec(s.bits);
  spDec.decode(s.codes, sp.data());
  std::size_t diff = 0;
  for (std::size_t i = 0; i < sp.size(); ++i) diff += sp[i] != standard[i];
  std::printf(", ours~spandsp %6.2f dB, standard-form vs spandsp: %zu samples differ",
              snrDb(sp, ours), diff);
#endif
#if defined(PARVOLIN_HAVE_LIBAVCODEC) && defined(PARVOLIN_HAVE_SPANDSP)
  std::printf(", libavcodec~spandsp %6.2f dB", snrDb(sp, av));
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
  using parvolin::bench::makeStream;
  using parvolin::bench::report;
  using parvolin::bench::standardEncoderStream;
  constexpr std::size_t kBlocks = 2000;  // 512 s at 16 kbit/s, 340 s at 24 kbit/s
  for (int bits : {2, 3}) {
    report("speech", makeStream(bits, CodeSet::kSpeech, kBlocks));
    report("speech (std enc)", standardEncoderStream(bits, kBlocks));
    report("random", makeStream(bits, CodeSet::kRandom, kBlocks));
  }
  return 0;
}
