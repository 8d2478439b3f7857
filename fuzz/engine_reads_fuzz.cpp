// libFuzzer target: any bytes as stream reads of the four units, fed to the engine.

#include "engine_reads_fuzz_entry.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  return parvolin::fuzz::runFuzzInput(parvolin::fuzz::engineReadsFuzzCheck, data, size);
}
