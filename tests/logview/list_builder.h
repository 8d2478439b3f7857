#pragma once

// Lists for the list layer's tests, made with the recorder's own row writer, in a folder of
// their own and in UTC so that the date cells are known.

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "engine/call_record.h"
#include "engine/engine_harness.h"
#include "engine/html_list.h"

namespace parvolin::logview::test {

using engine::test::readFile;
using engine::test::TempFolder;
using engine::test::writeFile;

// 5 March 2007 09:04:02 UTC: "03-05-07 09:04:02".
inline constexpr std::uint32_t kMarch5 = 1173085442;
inline constexpr std::uint32_t kDay = 86400;

struct Call {
  Call(int item, int port = 1, int seconds = 30, std::string text = "",
       std::uint32_t start = kMarch5, std::uint8_t callType = engine::kCallAnswered)
      : item(item),
        port(port),
        seconds(seconds),
        text(std::move(text)),
        start(start),
        callType(callType) {}

  int item;
  int port;
  int seconds;  // -1: not answered
  std::string text;
  std::uint32_t start;
  std::uint8_t callType;
};

inline std::string rowOf(const Call& call, int audioMode = 3, bool wav = false) {
  engine::CallRecord r;
  r.portIndex = std::uint8_t(call.port - 1);
  r.callType = call.seconds < 0 ? engine::kCallRinging : call.callType;
  r.startTime = call.start + std::uint32_t(call.item);  // each call its own recording
  r.durationSec = std::uint16_t(call.seconds < 0 ? 0 : call.seconds);
  for (std::size_t i = 0; i < call.text.size() && i < r.callText.size(); ++i) {
    r.callText[i] = call.text[i];
  }
  return engine::htmlRow(r, audioMode, wav, call.item);
}

// Header and rows, in the order given (newest first, as the recorder keeps them).
inline std::string listOf(const std::vector<Call>& calls) {
  std::string list(engine::kHtmlHeader);
  for (const Call& call : calls) list += rowOf(call);
  return list;
}

// Items `from` down to 1, one call each, port (item % 4) + 1.
inline std::vector<Call> numbered(int from) {
  std::vector<Call> calls;
  for (int item = from; item >= 1; --item) calls.push_back({item, item % 4 + 1, 10 * item});
  return calls;
}

// Sets TZ to UTC for the whole test.
class ListTest : public ::testing::Test {
 protected:
  engine::test::UtcZone utc;
  TempFolder folder;
};

}  // namespace parvolin::logview::test
