#pragma once

#include <cstdint>
#include <ostream>
#include <string>
#include <string_view>

#include "engine/call_record.h"

namespace parvolin::tools {

enum class LogFormat { kText, kCsv, kJson, kJsonLines };

// Local time as "YYYY-MM-DD HH:MM:SS" for seconds since 1970 UTC. The time zone is looked up once
// per local day (a day without a change of the zone's offset), or once per second within a day
// that has one; the clock time within a day is plain arithmetic.
class LocalTimeText {
 public:
  // Writes the 19 characters at `out`.
  void write(std::uint32_t seconds, char* out);

 private:
  void lookUp(std::uint32_t seconds);

  // The seconds the cached date covers, [from_, until_): a whole day from its 00:00:00, or one
  // second, whose clock time is then clock_.
  std::int64_t from_ = 1, until_ = 0;
  bool wholeDay_ = false;
  char date_[10] = {};  // "YYYY-MM-DD"
  char clock_[8] = {};  // "HH:MM:SS"
};

// The call log's formats, written into a large buffer that goes to `out` whenever it fills and at
// finish(). One record costs a few hundred instructions: no printf, no strftime.
class CallLogFormatter {
 public:
  CallLogFormatter(LogFormat format, std::ostream& out);
  CallLogFormatter(const CallLogFormatter&) = delete;
  CallLogFormatter& operator=(const CallLogFormatter&) = delete;
  ~CallLogFormatter();

  // What comes before the first call (the CSV header, the JSON array's opening).
  void begin();
  void print(const engine::CallRecord& r);
  // What ends the output, then everything still buffered is written.
  void finish();

 private:
  void flush();
  void append(std::string_view text);
  void appendJsonObject(const engine::CallRecord& r);
  // One record's line at `p`; returns the end of what was written.
  char* writeText(char* p, const engine::CallRecord& r);
  char* writeCsv(char* p, const engine::CallRecord& r);

  LogFormat format_;
  std::ostream& out_;
  bool first_ = true;
  char* buffer_;
  std::size_t used_ = 0;
  LocalTimeText time_;
  std::string escaped_;  // reused for numbers that need escaping
};

}  // namespace parvolin::tools
