// libFuzzer target: any text for each of the nine settings, loaded as at start-up and recorded
// with.

#include "settings_fuzz_entry.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  return parvolin::fuzz::runFuzzInput(parvolin::fuzz::settingsFuzzCheck, data, size);
}
