#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

#include "codec/decoder_state.h"
#include "codec/lv_format.h"

// LvDecoder: turns the bytes of an LV recording into 16-bit signed samples, 8000 per second.
// Decoding cannot fail: every byte value is a valid code, and input of any length decodes.
namespace parvolin::codec {

// The next sample of a 2-bit (16 kbit/s) or 3-bit (24 kbit/s) ADPCM stream. Only the code's two
// or three low bits are used.
std::int16_t decodeCode16k(DecoderState& state, unsigned code);
std::int16_t decodeCode24k(DecoderState& state, unsigned code);

// The sample of one 8-bit logarithmic code (mode 3). Magnitudes reach 126976; callers keep the
// low 16 bits of the result.
constexpr int expandLogByte(std::uint8_t v) {
  const int segment = (v >> 4) & 7;
  const int mantissa = v & 15;
  const int magnitude = segment == 0   ? mantissa
                        : segment == 1 ? mantissa + 16
                                       : (mantissa + 16) << (segment - 1);
  return (v & 0x80) ? -magnitude * 64 : magnitude * 64;
}

// The sample of one mode-0 byte: (v - 128) × 256.
constexpr std::int16_t expandLinearByte(std::uint8_t v) {
  return static_cast<std::int16_t>((v - 128) * 256);
}

// Decodes the recording `file` in audio `mode` (other values than 1-3 mean mode 0) into the
// first min(N, samples.size()) elements of `samples`, N = sampleCountFor(file.size(), mode), and
// returns that count. `state` carries on from where it stands (callers reset it per file).
// A file need not be whole blocks: bytes beyond its end read as 0, a trailing part-block in
// mode 2 skips its first two bytes like a whole block, and in mode 1 a last odd byte (half a
// word) decodes to samples of 0.
std::size_t decodeLv(std::span<const std::uint8_t> file, int mode, DecoderState& state,
                     std::span<std::int16_t> samples);

// Bytes the in-place decoding needs for a recording of `fileLength` bytes: 2N + 65536, in
// 16-bit elements (N + 32768).
std::uint64_t decodeBufferElementsFor(std::uint64_t fileLength, int mode);

// Decodes in place: the first `fileLength` bytes of `buffer` hold the recording, and `buffer`
// has room for at least decodeBufferElementsFor(fileLength, mode) elements. On return its first
// N elements are the samples; returns N. Returns nullopt, touching nothing, when the buffer is
// too small.
std::optional<std::size_t> decodeLvBuffer(std::span<std::int16_t> buffer, std::size_t fileLength,
                                          int mode, DecoderState& state);

}  // namespace parvolin::codec
