#pragma once

// Code streams for the codec benchmarks and the cross-check, and the same streams packed for
// each decoder: LV blocks for ours, an MSB-first bit stream for libavcodec, one code per byte
// for spandsp; with wrappers around the two independent decoders when they are built in.

#include <array>
#include <cmath>
#include <cstdint>
#include <span>
#include <vector>

#include "codec/g726_core.h"
#include "codec/g726_encoder.h"
#include "codec/lv_decoder.h"
#include "codec/speech_like_signal.h"

#ifdef PARVOLIN_HAVE_LIBAVCODEC
extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/channel_layout.h>
}
#endif
#ifdef PARVOLIN_HAVE_SPANDSP
#include <spandsp.h>
#endif

namespace parvolin::bench {

enum class CodeSet { kRandom, kSpeech };

struct CodeStream {
  int bits;                         // 2 or 3
  std::vector<std::uint8_t> codes;  // one code per element
  std::vector<std::uint8_t> lv;     // the same codes as an LV file of mode 1 or 2
};

inline int lvModeFor(int bits) {
  return bits == 2 ? codec::kModeAdpcm16k : codec::kModeAdpcm24k;
}

// The codes of the whole LV blocks in `lv`, in decoding order, one per element.
inline std::vector<std::uint8_t> codesOf(const std::vector<std::uint8_t>& lv, int bits) {
  std::vector<std::uint8_t> codes;
  for (std::size_t b = 0; b + 512 <= lv.size(); b += 512) {
    const std::uint8_t* p = lv.data() + b;
    if (bits == 2) {
      for (int w = 0; w < 256; ++w) {
        const unsigned word = p[2 * w] | (p[2 * w + 1] << 8);
        for (int k = 0; k < 8; ++k) codes.push_back((word >> (14 - 2 * k)) & 3);
      }
    } else {
      for (int g = 0; g < 85; ++g) {
        const std::uint8_t* q = p + 2 + 6 * g;
        const std::uint64_t group = (std::uint64_t(q[0] | (q[1] << 8)) << 32) |
                                    (std::uint64_t(q[2] | (q[3] << 8)) << 16) |
                                    std::uint64_t(q[4] | (q[5] << 8));
        for (int k = 0; k < 16; ++k) codes.push_back((group >> (45 - 3 * k)) & 7);
      }
    }
  }
  return codes;
}

// `blocks` LV blocks' worth of codes: uniformly random, or the encoder's codes for speech.
inline CodeStream makeStream(int bits, CodeSet set, std::size_t blocks) {
  CodeStream s{bits, {}, {}};
  auto encoder = codec::makeG726Encoder(bits);
  const std::size_t per = encoder->samplesPerBlock();
  const auto signal = codec::speechLikeSignal(per * blocks, 21);
  std::uint32_t seed = 777;
  for (std::size_t b = 0; b < blocks; ++b) {
    std::array<std::uint8_t, 512> block{};
    if (set == CodeSet::kSpeech) {
      encoder->encodeBlock(std::span(signal).subspan(b * per, per), block);
    } else {
      for (auto& v : block) {
        seed = seed * 1664525u + 1013904223u;
        v = static_cast<std::uint8_t>(seed >> 24);
      }
      if (bits == 3) block[0] = block[1] = 0;
    }
    s.lv.insert(s.lv.end(), block.begin(), block.end());
  }
  s.codes = codesOf(s.lv, bits);
  return s;
}

inline std::vector<std::int16_t> decodeOurs(const CodeStream& s) {
  codec::DecoderState state;
  std::vector<std::int16_t> out(codec::sampleCountFor(s.lv.size(), lvModeFor(s.bits)));
  codec::decodeLv(s.lv, lvModeFor(s.bits), state, out);
  return out;
}

// The codes decoded one at a time with the reference step of the codec's core.
inline std::size_t decodeReference(const CodeStream& s, std::int16_t* out) {
  codec::g726::Working<codec::g726::LinearHistory> state{codec::DecoderState{}};
  for (std::uint8_t c : s.codes) {
    *out++ = s.bits == 2 ? codec::g726::decodeCode<codec::g726::Rate16k>(state, c)
                         : codec::g726::decodeCode<codec::g726::Rate24k>(state, c);
  }
  return s.codes.size();
}

// Packs codes MSB first into bytes, as libavcodec's "g726" decoder reads them.
inline std::vector<std::uint8_t> packMsbFirst(const std::vector<std::uint8_t>& codes, int bits) {
  std::vector<std::uint8_t> out;
  std::uint32_t acc = 0;
  int held = 0;
  for (std::uint8_t c : codes) {
    acc = (acc << bits) | c;
    held += bits;
    while (held >= 8) {
      out.push_back(static_cast<std::uint8_t>(acc >> (held - 8)));
      held -= 8;
    }
  }
  if (held > 0) out.push_back(static_cast<std::uint8_t>(acc << (8 - held)));
  return out;
}

#ifdef PARVOLIN_HAVE_LIBAVCODEC
class AvG726 {
 public:
  explicit AvG726(int bits) {
    const AVCodec* codec = avcodec_find_decoder(AV_CODEC_ID_ADPCM_G726);
    ctx_ = avcodec_alloc_context3(codec);
    ctx_->sample_rate = 8000;
    ctx_->bits_per_coded_sample = bits;
    av_channel_layout_default(&ctx_->ch_layout, 1);
    ok_ = avcodec_open2(ctx_, codec, nullptr) == 0;
    packet_ = av_packet_alloc();
    frame_ = av_frame_alloc();
  }
  ~AvG726() {
    av_frame_free(&frame_);
    av_packet_free(&packet_);
    avcodec_free_context(&ctx_);
  }
  bool ok() const { return ok_; }
  void reset() { avcodec_flush_buffers(ctx_); }
  // Decodes `packed` in packets of `packetBytes` into `out`; returns the samples written.
  std::size_t decode(const std::vector<std::uint8_t>& packed, std::int16_t* out,
                     std::size_t packetBytes = 4095) {
    std::size_t written = 0;
    for (std::size_t at = 0; at < packed.size(); at += packetBytes) {
      packet_->data = const_cast<std::uint8_t*>(packed.data() + at);
      packet_->size = static_cast<int>(std::min(packetBytes, packed.size() - at));
      if (avcodec_send_packet(ctx_, packet_) != 0) break;
      while (avcodec_receive_frame(ctx_, frame_) == 0) {
        const auto* s = reinterpret_cast<const std::int16_t*>(frame_->data[0]);
        std::copy(s, s + frame_->nb_samples, out + written);
        written += static_cast<std::size_t>(frame_->nb_samples);
      }
    }
    return written;
  }

 private:
  AVCodecContext* ctx_ = nullptr;
  AVPacket* packet_ = nullptr;
  AVFrame* frame_ = nullptr;
  bool ok_ = false;
};
#endif

#ifdef PARVOLIN_HAVE_SPANDSP
class SpanG726 {
 public:
  explicit SpanG726(int bits) : rate_(bits == 2 ? 16000 : 24000) {
    state_ = g726_init(nullptr, rate_, G726_ENCODING_LINEAR, G726_PACKING_NONE);
  }
  ~SpanG726() { g726_free(state_); }
  void reset() { g726_init(state_, rate_, G726_ENCODING_LINEAR, G726_PACKING_NONE); }
  std::size_t decode(const std::vector<std::uint8_t>& codes, std::int16_t* out) {
    return static_cast<std::size_t>(
        g726_decode(state_, out, codes.data(), static_cast<int>(codes.size())));
  }

 private:
  int rate_;
  g726_state_t* state_;
};
#endif

inline double snrDb(std::span<const std::int16_t> ref, std::span<const std::int16_t> got) {
  double signal = 0, noise = 0;
  for (std::size_t i = 0; i < std::min(ref.size(), got.size()); ++i) {
    signal += double(ref[i]) * ref[i];
    noise += (double(ref[i]) - got[i]) * (double(ref[i]) - got[i]);
  }
  return noise == 0 ? INFINITY : 10 * std::log10(signal / noise);
}

}  // namespace parvolin::bench
