// libFuzzer target: LV decoding in every mode (separate and in place), Dava and the call-end
// WAV conversion on any bytes.

#include "lv_decode_fuzz_entry.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  return parvolin::fuzz::runFuzzInput(parvolin::fuzz::lvDecodeFuzzCheck, data, size);
}
