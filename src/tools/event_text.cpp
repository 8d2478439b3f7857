#include "tools/event_text.h"

#include <cstdio>

#include "engine/port_state.h"

namespace parvolin::tools {
namespace {

// Payload bytes of the numbers: caller numbers in 1-6, dialled numbers in 7-17.
constexpr std::size_t kCallerFirst = 1, kCallerBytes = 6;
constexpr std::size_t kDialledFirst = 7, kDialledBytes = 11;

std::string digits(const device::StreamRecord& r, std::size_t first, std::size_t count,
                   char (*table)(std::uint8_t)) {
  std::string text;
  for (std::size_t i = first; i < first + count && i < r.payload.size(); ++i) {
    text += table(r.payload[i] >> 4);
    text += table(r.payload[i] & 0x0F);
  }
  while (!text.empty() && text.back() == ' ') text.pop_back();
  return text;
}

}  // namespace

std::string eventName(std::uint8_t code) {
  using namespace device;
  switch (code) {
    case kCallerIdA:
      return "CallerIdA";
    case kCallerIdB:
      return "CallerIdB";
    case kRingEvent:
      return "Ring";
    case kDialOutEvent:
      return "DialOut";
    case kAnsweringEvent:
      return "Answering";
    case kAudioEvent:
      return "Audio";
    case kCallEndEvent:
      return "CallEnd";
    case kCalloutEndEvent:
      return "CalloutEnd";
    case kDigitEvent:
      return "Digit";
    case kVarStartEvent:
      return "VarStart";
    case kVarEndEvent:
      return "VarEnd";
    default:
      return "code " + std::to_string(code);
  }
}

std::string describeEvent(int portIndex, const device::StreamRecord& r) {
  using namespace device;
  std::string detail;
  switch (r.code) {
    case kCallerIdA:
    case kCallerIdB:
    case kCallEndEvent:
      detail = digits(r, kCallerFirst, kCallerBytes, engine::callerDigit);
      break;
    case kCalloutEndEvent:
    case kVarEndEvent:
      detail = digits(r, kDialledFirst, kDialledBytes, engine::dialledDigit);
      break;
    case kDigitEvent: {
      const int d = r.payload.empty() ? 0 : r.payload[0];
      detail = d == 10 ? "0" : d == 0 ? "(none)" : std::to_string(d);
      break;
    }
    case kAudioEvent:
      detail = std::to_string(r.payload.size()) + " bytes";
      break;
    default:
      break;
  }
  char head[48];
  std::snprintf(head, sizeof head, "Port %2d  %-11s ", portIndex + 1, eventName(r.code).c_str());
  std::string line = head + detail;
  while (!line.empty() && line.back() == ' ') line.pop_back();
  return line;
}

}  // namespace parvolin::tools
