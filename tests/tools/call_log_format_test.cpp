// The call log's formats against printf and strftime, which wrote them before: the same bytes for
// every kind of number text and every start time, in zones with and without summer time, with
// odd offsets and with leap seconds.

#include "tools/call_log_format.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <optional>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "base/program_text.h"

namespace parvolin::tools {
namespace {

// The formats as printf and strftime give them.
std::string referenceTime(std::uint32_t seconds) {
  const std::time_t t = std::time_t(seconds);
  std::tm local{};
  localtime_r(&t, &local);
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &local);
  return text;
}

const char* referenceType(const engine::CallRecord& r) {
  if (r.callType == engine::kCallVar) return "VAR";
  return (r.callType & engine::kOutgoingBit) ? "Out" : "In";
}

std::string referenceText(const engine::CallRecord& r) {
  std::string_view text = r.text();
  while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
  return base::printable(text);
}

std::string referenceJson(const engine::CallRecord& r) {
  std::string text = "\"";
  for (const char c : referenceText(r)) {
    if (c == '"' || c == '\\') text += '\\';
    text += c;
  }
  text += '"';
  char line[512];
  std::snprintf(line, sizeof line,
                "{\"port\":%d,\"callType\":%u,\"type\":\"%s\",\"callText\":%s,\"start\":\"%s\","
                "\"startTime\":%u,\"durationSec\":%u,\"firstAudioSec\":%u}",
                r.portIndex + 1, r.callType, referenceType(r), text.c_str(),
                referenceTime(r.startTime).c_str(), r.startTime, r.durationSec, r.firstAudioSec);
  return line;
}

std::string reference(LogFormat format, const std::vector<engine::CallRecord>& records) {
  std::string out;
  char line[512];
  if (format == LogFormat::kCsv)
    out += "port,callType,type,callText,start,startTime,durationSec,firstAudioSec\r\n";
  if (format == LogFormat::kJson) out += "[";
  bool first = true;
  for (const engine::CallRecord& r : records) {
    std::string text = referenceText(r);
    switch (format) {
      case LogFormat::kText:
        std::snprintf(line, sizeof line, "Port %2d  %-3s %2u  %-22s  %s  %5u s  %s\n",
                      r.portIndex + 1, referenceType(r), r.callType, text.c_str(),
                      referenceTime(r.startTime).c_str(), r.durationSec,
                      r.firstAudioSec == 0
                          ? "no audio"
                          : ("audio after " + std::to_string(r.firstAudioSec) + " s").c_str());
        break;
      case LogFormat::kCsv:
        if (text.find_first_of(",\"\r\n") != std::string::npos) {
          std::string quoted = "\"";
          for (const char c : text) quoted += c == '"' ? std::string("\"\"") : std::string(1, c);
          text = quoted + "\"";
        }
        std::snprintf(line, sizeof line, "%d,%u,%s,%s,%s,%u,%u,%u\r\n", r.portIndex + 1, r.callType,
                      referenceType(r), text.c_str(), referenceTime(r.startTime).c_str(),
                      r.startTime, r.durationSec, r.firstAudioSec);
        break;
      case LogFormat::kJson:
        std::snprintf(line, sizeof line, "%s\n%s", first ? "" : ",", referenceJson(r).c_str());
        break;
      case LogFormat::kJsonLines:
        std::snprintf(line, sizeof line, "%s\n", referenceJson(r).c_str());
        break;
    }
    out += line;
    first = false;
  }
  if (format == LogFormat::kJson) out += first ? "]\n" : "\n]\n";
  return out;
}

std::string formatted(LogFormat format, const std::vector<engine::CallRecord>& records) {
  std::ostringstream out;
  CallLogFormatter formatter(format, out);
  formatter.begin();
  for (const engine::CallRecord& r : records) formatter.print(r);
  formatter.finish();
  return out.str();
}

// Calls with every kind of number: plain digits, padding, the full width, quotes, commas,
// backslashes, control bytes, valid and broken UTF-8; every port and call type byte.
std::vector<engine::CallRecord> someCalls(std::mt19937& random, std::uint32_t firstStart,
                                          std::uint32_t spread, bool inOrder) {
  const std::vector<std::string> texts = {
      "", "5551234", "0123456789012345678901", "a,b", "say \"hi\"", "back\\", "\x1b[31m",
      "caf\xc3\xa9", "\xff\xfe", "  lead", "cr\r\nlf", "\xe2\x80\xae rtl", "\"", ",",
      "x,\"y\"\\z\x01",
      // Long numbers with what needs care near their end.
      "012345678901234", "0123456789012345", "01234567890123456", "0123456789012345678 x",
      "012345678901234567\"9,", "01234567890123456789\\", "0123456789012345\x01",
      "012345678901234567890\x7f", "012345678901234567890\xc3"};
  std::vector<engine::CallRecord> records;
  std::uint32_t start = firstStart;
  for (int i = 0; i < 3000; ++i) {
    engine::CallRecord r;
    r.portIndex = std::uint8_t(random() % 256);
    r.callType = std::uint8_t(random() % 256);
    const std::string& text = texts[random() % texts.size()];
    for (std::size_t k = 0; k < text.size() && k < r.callText.size(); ++k) r.callText[k] = text[k];
    start = inOrder ? start + random() % spread : firstStart + random() % spread;
    r.startTime = start;
    r.durationSec = std::uint16_t(random() % 4 == 0 ? 65535 : random() % 70000);
    r.firstAudioSec = std::uint16_t(random());
    records.push_back(r);
  }
  return records;
}

class ZoneScope {
 public:
  explicit ZoneScope(const char* zone) {
    if (const char* old = std::getenv("TZ")) old_ = old;
    setenv("TZ", zone, 1);
    tzset();
  }
  ~ZoneScope() {
    if (old_) {
      setenv("TZ", old_->c_str(), 1);
    } else {
      unsetenv("TZ");
    }
    tzset();
  }

 private:
  std::optional<std::string> old_;
};

TEST(CallLogFormatter, WritesWhatPrintfAndStrftimeWroteInEveryZone) {
  struct Case {
    const char* zone;
    std::uint32_t firstStart, spread;  // the calls' start times
    bool inOrder;
  };
  const std::vector<Case> cases = {
      {"UTC", 0, 4000, true},
      // Around the changes to and from summer time, and a whole year in random order.
      {"Europe/Berlin", 1711846800 - 3 * 3600, 20, true},
      {"Europe/Berlin", 1729990800 - 3 * 3600, 20, true},
      {"Europe/Berlin", 1700000000, 365 * 86400, false},
      {"America/St_Johns", 1699164000 - 86400, 120, true},     // half an hour off
      {"Australia/Lord_Howe", 1712404800 - 86400, 120, true},  // a half-hour summer shift
      {"EST5EDT,M3.2.0,M11.1.0", 1710054000 - 3600, 5, true},
      {"right/UTC", 1483228800 - 500, 2, true},         // the leap second at the end of 2016
      {"Pacific/Kiritimati", 0, 2'000'000'000, false},  // the skipped day of 1994, the far end
  };
  std::mt19937 random(7);
  for (const Case& c : cases) {
    ZoneScope zone(c.zone);
    const auto records = someCalls(random, c.firstStart, c.spread, c.inOrder);
    for (const LogFormat format :
         {LogFormat::kText, LogFormat::kCsv, LogFormat::kJson, LogFormat::kJsonLines}) {
      const std::string want = reference(format, records), got = formatted(format, records);
      ASSERT_EQ(got.size(), want.size()) << c.zone << " format " << int(format);
      if (got != want) {
        std::size_t at = 0;
        while (got[at] == want[at]) ++at;
        const std::size_t from =
            want.rfind('\n', at) == std::string::npos ? 0 : want.rfind('\n', at);
        FAIL() << c.zone << " format " << int(format) << "\nwant: " << want.substr(from, 200)
               << "\ngot:  " << got.substr(from, 200);
      }
    }
  }
}

TEST(CallLogFormatter, EmptyLogsAndOutputLargerThanItsBuffer) {
  EXPECT_EQ(formatted(LogFormat::kJson, {}), "[]\n");
  EXPECT_EQ(formatted(LogFormat::kText, {}), "");
  EXPECT_EQ(formatted(LogFormat::kCsv, {}),
            "port,callType,type,callText,start,startTime,durationSec,firstAudioSec\r\n");
  // Many megabytes of output: nothing lost or repeated where the buffer was written out.
  ZoneScope zone("UTC");
  std::mt19937 random(11);
  std::vector<engine::CallRecord> records;
  for (int i = 0; i < 10; ++i) {
    const auto more = someCalls(random, 1'600'000'000u + i * 100000u, 30, true);
    records.insert(records.end(), more.begin(), more.end());
  }
  records.insert(records.end(), records.begin(), records.end());
  records.insert(records.end(), records.begin(), records.end());
  EXPECT_EQ(formatted(LogFormat::kJson, records), reference(LogFormat::kJson, records));
}

}  // namespace
}  // namespace parvolin::tools
