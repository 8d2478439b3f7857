#include "base/program_text.h"

#include <cstdint>

#ifndef PARVOLIN_VERSION
#error "PARVOLIN_VERSION is defined by the build from the project's version"
#endif

namespace parvolin::base {
namespace {

// The length of the well-formed UTF-8 sequence of a character of 0x80 or above at the start of
// `text`, or 0 when the bytes there are not one (a stray byte, an overlong form, a surrogate, a
// code point past U+10FFFF, a sequence cut short).
std::size_t utf8SequenceLength(std::string_view text, std::uint32_t& codePoint) {
  const auto b0 = static_cast<unsigned char>(text[0]);
  std::size_t length = 0;
  std::uint32_t minimum = 0;
  if (b0 >= 0xC2 && b0 <= 0xDF) {
    length = 2, minimum = 0x80, codePoint = b0 & 0x1F;
  } else if (b0 >= 0xE0 && b0 <= 0xEF) {
    length = 3, minimum = 0x800, codePoint = b0 & 0x0F;
  } else if (b0 >= 0xF0 && b0 <= 0xF4) {
    length = 4, minimum = 0x10000, codePoint = b0 & 0x07;
  } else {
    return 0;
  }
  if (text.size() < length) return 0;
  for (std::size_t i = 1; i < length; ++i) {
    const auto b = static_cast<unsigned char>(text[i]);
    if ((b & 0xC0) != 0x80) return 0;
    codePoint = (codePoint << 6) | (b & 0x3F);
  }
  if (codePoint < minimum || codePoint > 0x10FFFF) return 0;
  if (codePoint >= 0xD800 && codePoint <= 0xDFFF) return 0;
  return length;
}

// Characters a terminal acts on rather than shows: the C1 controls and the marks that turn the
// direction of the text around it.
bool isFormatting(std::uint32_t codePoint) {
  return (codePoint >= 0x80 && codePoint <= 0x9F) || (codePoint >= 0x202A && codePoint <= 0x202E) ||
         (codePoint >= 0x2066 && codePoint <= 0x2069);
}

void appendHex(std::string& out, unsigned char byte) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  out += "\\x";
  out += kHex[byte >> 4];
  out += kHex[byte & 0xF];
}

}  // namespace

std::string_view versionNumber() {
  return PARVOLIN_VERSION;
}

std::string versionLine(std::string_view program) {
  std::string line(program);
  line += ' ';
  line += versionNumber();
  return line;
}

std::string printable(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  while (!text.empty()) {
    const auto byte = static_cast<unsigned char>(text[0]);
    std::size_t taken = 1;
    if (byte == '\\') {
      out += "\\\\";
    } else if (byte >= 0x20 && byte < 0x7F) {
      out += text[0];
    } else if (std::uint32_t codePoint = 0; byte >= 0x80) {
      const std::size_t length = utf8SequenceLength(text, codePoint);
      if (length != 0 && !isFormatting(codePoint)) {
        out.append(text.substr(0, length));
      } else {
        for (std::size_t i = 0; i < (length != 0 ? length : 1); ++i) {
          appendHex(out, static_cast<unsigned char>(text[i]));
        }
      }
      taken = length != 0 ? length : 1;
    } else {
      appendHex(out, byte);
    }
    text.remove_prefix(taken);
  }
  return out;
}

std::string printableLines(std::string_view text) {
  std::string out;
  for (std::size_t start = 0;;) {
    const std::size_t end = text.find('\n', start);
    out += printable(text.substr(start, end == std::string_view::npos ? end : end - start));
    if (end == std::string_view::npos) return out;
    out += '\n';
    start = end + 1;
  }
}

}  // namespace parvolin::base
