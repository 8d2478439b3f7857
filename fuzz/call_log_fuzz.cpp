// libFuzzer target: any bytes as a call log, read and appended to.

#include "call_log_fuzz_entry.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  return parvolin::fuzz::runFuzzInput(parvolin::fuzz::callLogFuzzCheck, data, size);
}
