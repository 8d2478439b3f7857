#include "tools/call_log_format.h"

#include <bit>
#include <charconv>
#include <cstring>
#include <ctime>

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

inline char* twoDigits(char* p, unsigned v) {
  std::memcpy(p, kTwoDigits + 2 * v, 2);
  return p + 2;
}

inline char* decimal(char* p, unsigned v) {
  return std::to_chars(p, p + 10, v).ptr;
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

// The number, padded with blanks to 24 bytes, as three words.
struct PaddedText {
  std::uint64_t words[3];
};

constexpr std::uint64_t kOnes = 0x0101010101010101u;
constexpr std::uint64_t kHighBits = 0x8080808080808080u;

inline PaddedText padded(const engine::CallRecord& r) {
  static_assert(engine::kCallTextSize == 22);
  char bytes[24];
  std::memcpy(bytes, r.callText.data(), 22);
  bytes[22] = bytes[23] = ' ';
  PaddedText t;
  std::memcpy(t.words, bytes, 24);
  return t;
}

// The length of the number without its padding when every byte of it is printable ASCII other
// than a backslash (nearly always); -1 when some byte needs escaping. Eight bytes are checked at a
// time: a byte below 0x20 or at 0x80 and above, or equal to 0x7F or '\\', sets its high bit in
// `bad`.
[[gnu::always_inline]] inline int plainLength(const PaddedText& t) {
  static_assert(std::endian::native == std::endian::little, "byte i is bits 8i to 8i + 7");
  auto hasZeroByte = [](std::uint64_t v) { return (v - kOnes) & ~v & kHighBits; };
  std::uint64_t bad = 0;
  for (const std::uint64_t w : t.words) {
    bad |= (w & kHighBits) | ((w - kOnes * 0x20) & ~w & kHighBits) |
           hasZeroByte(w ^ (kOnes * 0x7F)) | hasZeroByte(w ^ (kOnes * '\\'));
  }
  if (bad != 0) return -1;
  for (int k = 2; k >= 0; --k) {
    // The bytes that are not blanks; the last of them ends the number.
    const std::uint64_t marks = t.words[k] ^ (kOnes * ' ');
    if (marks != 0) return 8 * k + (63 - std::countl_zero(marks)) / 8 + 1;
  }
  return 0;
}

// Whether the number holds a quote or a comma (which CSV quotes, and JSON escapes the first of).
bool hasQuoteOrComma(const PaddedText& t) {
  auto hasZeroByte = [](std::uint64_t v) { return (v - kOnes) & ~v & kHighBits; };
  std::uint64_t found = 0;
  for (const std::uint64_t w : t.words)
    found |= hasZeroByte(w ^ (kOnes * '"')) | hasZeroByte(w ^ (kOnes * ','));
  return found != 0;
}

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
  char* p = twoDigits(out + 11, second / 3600);
  *p++ = ':';
  p = twoDigits(p, second / 60 % 60);
  *p++ = ':';
  twoDigits(p, second % 60);
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
  p = copy(p, "Port ");
  p = rightAligned(p, r.portIndex + 1u, 2);
  p = copy(p, "  ");
  std::memcpy(p, typeName(r).text, 4);
  p += 4;
  p = rightAligned(p, r.callType, 2);
  p = copy(p, "  ");
  if (plainLength(padded(r)) >= 0) {
    // A plain number padded to 22 is the record's own text.
    p = copy(p, r.text());
  } else {
    const std::string_view text = shownText(r, escaped_);
    p = copy(p, text);
    for (std::size_t i = text.size(); i < 22; ++i) *p++ = ' ';
  }
  p = copy(p, "  ");
  time_.write(r.startTime, p);
  p += 19;
  p = copy(p, "  ");
  p = rightAligned(p, r.durationSec, 5);
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
