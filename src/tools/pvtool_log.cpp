// pvtool log [FILE] [--csv|--json]

#include <cstdio>
#include <ctime>
#include <string>

#include "engine/call_log.h"
#include "tools/pvtool_commands.h"

namespace parvolin::tools {
namespace {

enum class Format { kText, kCsv, kJson };

std::string localTime(std::uint32_t seconds) {
  const std::time_t t = std::time_t(seconds);
  std::tm local{};
  localtime_r(&t, &local);
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &local);
  return text;
}

const char* typeName(const engine::CallRecord& r) {
  if (r.callType == engine::kCallVar) return "VAR";
  return (r.callType & engine::kOutgoingBit) ? "Out" : "In";
}

std::string trimmedText(const engine::CallRecord& r) {
  std::string text(r.text());
  while (!text.empty() && text.back() == ' ') text.pop_back();
  return text;
}

std::string jsonString(const std::string& s) {
  std::string out = "\"";
  for (const char c : s) {
    const unsigned char u = static_cast<unsigned char>(c);
    if (c == '"' || c == '\\') {
      out += '\\';
      out += c;
    } else if (u < 0x20 || u >= 0x7F) {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\u%04x", u);
      out += escaped;
    } else {
      out += c;
    }
  }
  return out + "\"";
}

std::string csvField(const std::string& s) {
  if (s.find_first_of(",\"\r\n") == std::string::npos) return s;
  std::string out = "\"";
  for (const char c : s) out += c == '"' ? std::string("\"\"") : std::string(1, c);
  return out + "\"";
}

void print(const engine::CallRecord& r, Format format) {
  const std::string text = trimmedText(r);
  const std::string start = localTime(r.startTime);
  switch (format) {
    case Format::kText:
      std::printf("Port %2d  %-3s %2u  %-22s  %s  %5u s  audio after %u s\n", r.portIndex + 1,
                  typeName(r), r.callType, text.c_str(), start.c_str(), r.durationSec,
                  r.firstAudioSec);
      break;
    case Format::kCsv:
      std::printf("%d,%u,%s,%s,%s,%u,%u,%u\n", r.portIndex + 1, r.callType, typeName(r),
                  csvField(text).c_str(), start.c_str(), r.startTime, r.durationSec,
                  r.firstAudioSec);
      break;
    case Format::kJson:
      std::printf(
          "{\"port\":%d,\"callType\":%u,\"type\":\"%s\",\"callText\":%s,\"start\":\"%s\","
          "\"startTime\":%u,\"durationSec\":%u,\"firstAudioSec\":%u}\n",
          r.portIndex + 1, r.callType, typeName(r), jsonString(text).c_str(), start.c_str(),
          r.startTime, r.durationSec, r.firstAudioSec);
      break;
  }
}

}  // namespace

int runLog(const Args& args) {
  std::string file = engine::kCallLogName;
  Format format = Format::kText;
  bool fileGiven = false;
  for (const std::string& a : args) {
    if (a == "--csv") {
      format = Format::kCsv;
    } else if (a == "--json") {
      format = Format::kJson;
    } else if (!a.starts_with("-") && !fileGiven) {
      file = a;
      fileGiven = true;
    } else {
      std::fprintf(stderr, "usage: pvtool log [FILE] [--csv|--json]\n");
      return 2;
    }
  }
  engine::CallLogContents log;
  if (const std::error_code error = engine::readCallLog(file, log)) {
    std::fprintf(stderr, "%s: %s\n", file.c_str(), error.message().c_str());
    return 1;
  }
  if (format == Format::kCsv) {
    std::printf("port,callType,type,callText,start,startTime,durationSec,firstAudioSec\n");
  }
  for (const engine::CallRecord& r : log.records) print(r, format);
  if (log.tornBytes != 0) {
    std::fprintf(stderr, "%s: %zu bytes after the last whole record (a torn record)\n",
                 file.c_str(), log.tornBytes);
  }
  return 0;
}

}  // namespace parvolin::tools
