// libFuzzer target: any bytes as a stream capture, checked and, when accepted, replayed.

#include "capture_fuzz_entry.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  return parvolin::fuzz::runFuzzInput(parvolin::fuzz::captureFuzzCheck, data, size);
}
