#include "tools/call_log_format.h"

#include <array>
#include <bit>
#include <charconv>
#include <cstddef>
#include <cstring>
#include <ctime>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "base/program_text.h"

namespace parvolin::tools {
namespace {

constexpr std::size_t kBufferSize = std::size_t{1} << 20;
// More than one record's output can take (a number escaped as \xNN, then escaped again for JSON).
constexpr std::size_t kRecordRoom = 1024;

// "00" to "99".
constexpr char kTwoDigits[] =
    "00010203040506070809101112131415161718192021222324252627282930313233343536373839"
    "40414243444546474849505152535455565758596061626364656667686970717273747576777879"
    "8081828384858687888990919293949596979899";

// "HH:MM:" for every minute of a day.
constexpr auto kMinutesOfADay = [] {
  std::array<std::array<char, 6>, 24 * 60> table{};
  for (unsigned m = 0; m < 24 * 60; ++m) {
    const unsigned h = m / 60, mm = m % 60;
    table[m] = {kTwoDigits[2 * h],  kTwoDigits[2 * h + 1],  ':',
                kTwoDigits[2 * mm], kTwoDigits[2 * mm + 1], ':'};
  }
  return table;
}();

inline char* twoDigits(char* p, unsigned v) {
  std::memcpy(p, kTwoDigits + 2 * v, 2);
  return p + 2;
}

// Ten digits of `v` (at least 1,000,000,000): every start time of this century and the next.
inline char* tenDigits(char* p, unsigned v) {
  const unsigned high = v / 100'000'000, low = v % 100'000'000;
  const unsigned a = low / 10'000, b = low % 10'000;
  p = twoDigits(p, high);
  p = twoDigits(p, a / 100);
  p = twoDigits(p, a % 100);
  p = twoDigits(p, b / 100);
  return twoDigits(p, b % 100);
}

// Numbers below 10,000 (ports, call types, most durations) and ten-digit ones (start times) take
// short roads. Something always follows a number in every format.
[[gnu::always_inline]] inline char* decimal(char* p, unsigned v) {
  if (v < 10) {
    *p = static_cast<char>('0' + v);
    return p + 1;
  }
  if (v < 100) return twoDigits(p, v);
  if (v < 10'000) {
    // Three or four digits: both pairs written, the first digit dropped when it is a zero. Four
    // bytes are stored either way; what follows the number writes over the fourth.
    const bool three = v < 1'000;
    char digits[5] = {};
    twoDigits(digits, v / 100);
    twoDigits(digits + 2, v % 100);
    std::memcpy(p, digits + three, 4);
    return p + 4 - three;
  }
  if (v >= 1'000'000'000) return tenDigits(p, v);
  return std::to_chars(p, p + 10, v).ptr;
}

// `v`, below 100, right-aligned in two characters (printf's %2u).
inline void twoWide(char* p, unsigned v) {
  if (v < 10) {
    p[0] = ' ';
    p[1] = static_cast<char>('0' + v);
  } else {
    twoDigits(p, v);
  }
}

// `v` right-aligned in five characters (printf's %5u) for any 16-bit value. Eight bytes are
// stored: the three after the field are written over by what follows it.
inline char* fiveWide(char* p, std::uint16_t value) {
  const unsigned v = value;
  const unsigned hundreds = v / 100;
  char digits[8];
  digits[0] = static_cast<char>('0' + hundreds / 100);
  twoDigits(digits + 1, hundreds % 100);
  twoDigits(digits + 3, v % 100);
  digits[5] = digits[6] = digits[7] = ' ';
  // The leading zeros become blanks.
  const unsigned blanks =
      unsigned{v < 10'000} + unsigned{v < 1'000} + unsigned{v < 100} + unsigned{v < 10};
  std::uint64_t word;
  std::memcpy(&word, digits, 8);
  const std::uint64_t mask = (std::uint64_t{1} << (8 * blanks)) - 1;
  word = (word & ~mask) | (0x2020202020202020u & mask);
  std::memcpy(p, &word, 8);
  return p + 5;
}

// `v` right-aligned in `width` characters (printf's %*u).
inline char* rightAligned(char* p, unsigned v, int width) {
  char digits[10];
  const char* end = std::to_chars(digits, digits + 10, v).ptr;
  const int length = static_cast<int>(end - digits);
  for (int i = length; i < width; ++i) *p++ = ' ';
  std::memcpy(p, digits, static_cast<std::size_t>(length));
  return p + length;
}

inline char* copy(char* p, std::string_view text) {
  std::memcpy(p, text.data(), text.size());
  return p + text.size();
}

struct TypeName;
char* copyType(char* p, const TypeName& type);

// The type's name, padded to four bytes ("In" has two) so that it is copied in one move.
struct TypeName {
  char text[4];
  std::size_t length;
};
constexpr TypeName kIn{{'I', 'n', ' ', ' '}, 2}, kOut{{'O', 'u', 't', ' '}, 3},
    kVar{{'V', 'A', 'R', ' '}, 3};

const TypeName& typeName(const engine::CallRecord& r) {
  if (r.callType == engine::kCallVar) return kVar;
  return (r.callType & engine::kOutgoingBit) ? kOut : kIn;
}

char* copyType(char* p, const TypeName& type) {
  std::memcpy(p, type.text, 4);
  return p + type.length;
}

// The number, padded with blanks to 32 bytes, as four words.
struct PaddedText {
  std::uint64_t words[4];
};

#if !defined(__SSE2__)
// For the checks a word at a time on machines without SSE2.
constexpr std::uint64_t kOnes = 0x0101010101010101u;
constexpr std::uint64_t kHighBits = 0x8080808080808080u;
#endif

inline PaddedText padded(const engine::CallRecord& r) {
  static_assert(engine::kCallTextSize == 22 && offsetof(engine::CallRecord, callText) == 2);
  PaddedText t;
#if defined(__SSE2__)
  // The record's two halves as they were stored, moved by two bytes in registers: loads that
  // straddle the stores that wrote the record, or that span several small stores, wait for them.
  const __m128i low = _mm_loadu_si128(reinterpret_cast<const __m128i*>(&r));
  const __m128i high = _mm_loadu_si128(reinterpret_cast<const __m128i*>(&r) + 1);
  const __m128i head = _mm_or_si128(_mm_srli_si128(low, 2), _mm_slli_si128(high, 14));
  // Bytes 16 to 21 of the text, then blanks.
  const __m128i textBytes = _mm_setr_epi8(-1, -1, -1, -1, -1, -1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0);
  const __m128i tail = _mm_or_si128(_mm_and_si128(_mm_srli_si128(high, 2), textBytes),
                                    _mm_andnot_si128(textBytes, _mm_set1_epi8(' ')));
  _mm_storeu_si128(reinterpret_cast<__m128i*>(t.words), head);
  _mm_storeu_si128(reinterpret_cast<__m128i*>(t.words + 2), tail);
#else
  char bytes[32];
  std::memset(bytes + 16, ' ', 16);
  std::memcpy(bytes, r.callText.data(), 22);
  std::memcpy(t.words, bytes, 32);
#endif
  return t;
}

// The length of the number without its padding when every byte of it is printable ASCII other
// than a backslash (nearly always); -1 when some byte needs escaping.
#if defined(__SSE2__)
// Sixteen bytes at a time: a byte below 0x20 or at 0x80 and above is below 0x20 as a signed
// byte.
[[gnu::always_inline]] inline int plainLength(const PaddedText& t) {
  const __m128i low = _mm_loadu_si128(reinterpret_cast<const __m128i*>(t.words));
  const __m128i high = _mm_loadu_si128(reinterpret_cast<const __m128i*>(t.words + 2));
  auto bad = [](__m128i v) {
    const __m128i control = _mm_cmplt_epi8(v, _mm_set1_epi8(0x20));
    const __m128i other = _mm_or_si128(_mm_cmpeq_epi8(v, _mm_set1_epi8(0x7F)),
                                       _mm_cmpeq_epi8(v, _mm_set1_epi8('\\')));
    return _mm_or_si128(control, other);
  };
  if (_mm_movemask_epi8(_mm_or_si128(bad(low), bad(high))) != 0) return -1;
  // The bytes that are not blanks; the last of them ends the number.
  const __m128i blank = _mm_set1_epi8(' ');
  const auto marks =
      static_cast<std::uint32_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(low, blank)) |
                                 (_mm_movemask_epi8(_mm_cmpeq_epi8(high, blank)) << 16)) ^
      0xFFFFFFFFu;
  return marks == 0 ? 0 : 32 - std::countl_zero(marks);
}
#else
// Eight bytes at a time: a byte below 0x20 or at 0x80 and above, or equal to 0x7F or '\\', sets
// its high bit in `bad`.
[[gnu::always_inline]] inline int plainLength(const PaddedText& t) {
  static_assert(std::endian::native == std::endian::little, "byte i is bits 8i to 8i + 7");
  auto hasZeroByte = [](std::uint64_t v) { return (v - kOnes) & ~v & kHighBits; };
  std::uint64_t bad = 0;
  for (const std::uint64_t w : t.words) {
    bad |= (w & kHighBits) | ((w - kOnes * 0x20) & ~w & kHighBits) |
           hasZeroByte(w ^ (kOnes * 0x7F)) | hasZeroByte(w ^ (kOnes * '\\'));
  }
  if (bad != 0) return -1;
  for (int k = 3; k >= 0; --k) {
    // The bytes that are not blanks; the last of them ends the number.
    const std::uint64_t marks = t.words[k] ^ (kOnes * ' ');
    if (marks != 0) return 8 * k + (63 - std::countl_zero(marks)) / 8 + 1;
  }
  return 0;
}
#endif

// Whether the number holds a quote or a comma (which CSV quotes, and JSON escapes the first of).
#if defined(__SSE2__)
[[gnu::always_inline]] inline bool hasQuoteOrComma(const PaddedText& t) {
  auto found = [](const std::uint64_t* words) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(words));
    return _mm_or_si128(_mm_cmpeq_epi8(v, _mm_set1_epi8('"')),
                        _mm_cmpeq_epi8(v, _mm_set1_epi8(',')));
  };
  return _mm_movemask_epi8(_mm_or_si128(found(t.words), found(t.words + 2))) != 0;
}
#else
bool hasQuoteOrComma(const PaddedText& t) {
  auto hasZeroByte = [](std::uint64_t v) { return (v - kOnes) & ~v & kHighBits; };
  std::uint64_t found = 0;
  for (const std::uint64_t w : t.words)
    found |= hasZeroByte(w ^ (kOnes * '"')) | hasZeroByte(w ^ (kOnes * ','));
  return found != 0;
}
#endif

// A plain number without quotes or commas, which every format shows as it is: the whole padded
// text is copied in one move and the end set after its last character. False for any other.
bool copyPlain(char*& p, const engine::CallRecord& r) {
  const PaddedText t = padded(r);
  const int length = plainLength(t);
  if (length < 0 || hasQuoteOrComma(t)) return false;
  std::memcpy(p, t.words, sizeof t.words);
  p += length;
  return true;
}

// The call's number without its padding, safe for a terminal and valid UTF-8: the text itself
// when it is plain, else made printable in `scratch`.
std::string_view shownText(const engine::CallRecord& r, std::string& scratch) {
  const int length = plainLength(padded(r));
  if (length >= 0) return {r.callText.data(), static_cast<std::size_t>(length)};
  std::string_view text = r.text();
  while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
  scratch = base::printable(text);
  return scratch;
}

// `s` holds no control byte (it was made printable); only quotes and backslashes are escaped.
char* jsonString(char* p, std::string_view s) {
  *p++ = '"';
  for (const char c : s) {
    if (c == '"' || c == '\\') *p++ = '\\';
    *p++ = c;
  }
  *p++ = '"';
  return p;
}

char* csvField(char* p, std::string_view s) {
  if (s.find_first_of(",\"\r\n") == std::string_view::npos) return copy(p, s);
  *p++ = '"';
  for (const char c : s) {
    if (c == '"') *p++ = '"';
    *p++ = c;
  }
  *p++ = '"';
  return p;
}

}  // namespace

void LocalTimeText::lookUp(std::uint32_t seconds) {
  const std::time_t t = std::time_t(seconds);
  std::tm local{};
  localtime_r(&t, &local);
  const unsigned year = static_cast<unsigned>(local.tm_year + 1900) % 10000;
  char* p = date_;
  p = twoDigits(p, year / 100);
  p = twoDigits(p, year % 100);
  *p++ = '-';
  p = twoDigits(p, static_cast<unsigned>(local.tm_mon + 1));
  *p++ = '-';
  twoDigits(p, static_cast<unsigned>(local.tm_mday));
  p = clock_;
  p = twoDigits(p, static_cast<unsigned>(local.tm_hour));
  *p++ = ':';
  p = twoDigits(p, static_cast<unsigned>(local.tm_min));
  *p++ = ':';
  twoDigits(p, static_cast<unsigned>(local.tm_sec));
  // The whole day shares this date and offset when it starts at 00:00:00 and its last second
  // reads 23:59:59 of the same date (no change of offset, no leap second); otherwise only this
  // second is known.
  const std::int64_t dayStart =
      std::int64_t{seconds} - (local.tm_hour * 3600 + local.tm_min * 60 + local.tm_sec);
  std::tm first{}, last{};
  const std::time_t start = std::time_t(dayStart), end = std::time_t(dayStart + 86399);
  wholeDay_ = local.tm_sec < 60 && localtime_r(&start, &first) && localtime_r(&end, &last) &&
              first.tm_hour == 0 && first.tm_min == 0 && first.tm_sec == 0 && last.tm_hour == 23 &&
              last.tm_min == 59 && last.tm_sec == 59 && first.tm_mday == local.tm_mday &&
              last.tm_mday == local.tm_mday && first.tm_gmtoff == local.tm_gmtoff &&
              last.tm_gmtoff == local.tm_gmtoff;
  from_ = wholeDay_ ? dayStart : std::int64_t{seconds};
  until_ = wholeDay_ ? dayStart + 86400 : std::int64_t{seconds} + 1;
}

void LocalTimeText::write(std::uint32_t seconds, char* out) {
  if (std::int64_t{seconds} < from_ || std::int64_t{seconds} >= until_) lookUp(seconds);
  std::memcpy(out, date_, 10);
  out[10] = ' ';
  if (!wholeDay_) {
    std::memcpy(out + 11, clock_, 8);
    return;
  }
  const auto second = static_cast<unsigned>(std::int64_t{seconds} - from_);
  const unsigned minute = second / 60;
  std::memcpy(out + 11, kMinutesOfADay[minute].data(), 6);
  twoDigits(out + 17, second - minute * 60);
}

CallLogFormatter::CallLogFormatter(LogFormat format, std::ostream& out)
    : format_(format), out_(out), buffer_(new char[kBufferSize]) {}

CallLogFormatter::~CallLogFormatter() {
  delete[] buffer_;
}

void CallLogFormatter::flush() {
  if (used_ != 0) out_.write(buffer_, std::streamsize(used_));
  used_ = 0;
}

void CallLogFormatter::append(std::string_view text) {
  if (used_ + text.size() > kBufferSize) flush();
  if (text.size() > kBufferSize) {
    out_.write(text.data(), std::streamsize(text.size()));
    return;
  }
  std::memcpy(buffer_ + used_, text.data(), text.size());
  used_ += text.size();
}

void CallLogFormatter::begin() {
  if (format_ == LogFormat::kCsv)
    append("port,callType,type,callText,start,startTime,durationSec,firstAudioSec\r\n");
  if (format_ == LogFormat::kJson) append("[");
}

void CallLogFormatter::appendJsonObject(const engine::CallRecord& r) {
  char* p = buffer_ + used_;
  p = copy(p, "{\"port\":");
  p = decimal(p, r.portIndex + 1u);
  p = copy(p, ",\"callType\":");
  p = decimal(p, r.callType);
  p = copy(p, ",\"type\":\"");
  p = copyType(p, typeName(r));
  p = copy(p, "\",\"callText\":");
  *p++ = '"';
  if (copyPlain(p, r)) {
    *p++ = '"';
  } else {
    p = jsonString(p - 1, shownText(r, escaped_));  // from the opening quote again
  }
  p = copy(p, ",\"start\":\"");
  time_.write(r.startTime, p);
  p += 19;
  p = copy(p, "\",\"startTime\":");
  p = decimal(p, r.startTime);
  p = copy(p, ",\"durationSec\":");
  p = decimal(p, r.durationSec);
  p = copy(p, ",\"firstAudioSec\":");
  p = decimal(p, r.firstAudioSec);
  *p++ = '}';
  used_ = static_cast<std::size_t>(p - buffer_);
}

char* CallLogFormatter::writeText(char* p, const engine::CallRecord& r) {
  // "Port %2d  %-3s %2u  %-22s  %s  %5u s  audio after %u s\n", or "no audio" for a call
  // without audio (unanswered: 0 there), rather than audio at once.
  const PaddedText text = padded(r);
  const unsigned port = r.portIndex + 1u;
  if (port < 100 && r.callType < 100 && plainLength(text) >= 0) [[likely]] {
    // Every field up to the duration has its place: "Port " at 0, the port at 5, the type at 9,
    // the call type at 13, the number (its own padding to 22 and the two blanks after it) at 17,
    // the start at 41 and the duration at 62.
    std::memcpy(p, "Port 00  TTT 00  ", 17);
    twoWide(p + 5, port);
    std::memcpy(p + 9, typeName(r).text, 4);
    twoWide(p + 13, r.callType);
    std::memcpy(p + 17, text.words, 24);
    time_.write(r.startTime, p + 41);
    p[60] = p[61] = ' ';
    p = fiveWide(p + 62, r.durationSec);
  } else {
    p = copy(p, "Port ");
    p = rightAligned(p, port, 2);
    p = copy(p, "  ");
    std::memcpy(p, typeName(r).text, 4);
    p += 4;
    p = rightAligned(p, r.callType, 2);
    p = copy(p, "  ");
    const std::string_view shown = shownText(r, escaped_);
    p = copy(p, shown);
    for (std::size_t i = shown.size(); i < 22; ++i) *p++ = ' ';
    p = copy(p, "  ");
    time_.write(r.startTime, p);
    p += 19;
    p = copy(p, "  ");
    p = fiveWide(p, r.durationSec);
  }
  if (r.firstAudioSec == 0) return copy(p, " s  no audio\n");
  p = copy(p, " s  audio after ");
  p = decimal(p, r.firstAudioSec);
  return copy(p, " s\n");
}

char* CallLogFormatter::writeCsv(char* p, const engine::CallRecord& r) {
  p = decimal(p, r.portIndex + 1u);
  *p++ = ',';
  p = decimal(p, r.callType);
  *p++ = ',';
  p = copyType(p, typeName(r));
  *p++ = ',';
  if (!copyPlain(p, r)) p = csvField(p, shownText(r, escaped_));
  *p++ = ',';
  time_.write(r.startTime, p);
  p += 19;
  *p++ = ',';
  p = decimal(p, r.startTime);
  *p++ = ',';
  p = decimal(p, r.durationSec);
  *p++ = ',';
  p = decimal(p, r.firstAudioSec);
  return copy(p, "\r\n");
}

void CallLogFormatter::print(const engine::CallRecord& r) {
  if (used_ + kRecordRoom > kBufferSize) flush();
  char* p = buffer_ + used_;
  switch (format_) {
    case LogFormat::kText:
      p = writeText(p, r);
      break;
    case LogFormat::kCsv:
      p = writeCsv(p, r);
      break;
    case LogFormat::kJson:
      p = copy(p, first_ ? "\n" : ",\n");
      used_ = static_cast<std::size_t>(p - buffer_);
      appendJsonObject(r);
      p = buffer_ + used_;
      break;
    case LogFormat::kJsonLines:
      appendJsonObject(r);
      p = buffer_ + used_;
      *p++ = '\n';
      break;
  }
  used_ = static_cast<std::size_t>(p - buffer_);
  first_ = false;
}

void CallLogFormatter::finish() {
  if (format_ == LogFormat::kJson) append(first_ ? "]\n" : "\n]\n");
  flush();
}

}  // namespace parvolin::tools
